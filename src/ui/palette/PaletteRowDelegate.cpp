// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteRowDelegate.h"

#include "PaletteModel.h"
#include "Thumbnails.h"
#include "ui/AppIconCache.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace scrivlet {

namespace {

constexpr int kPaddingX = 12;
constexpr int kPaddingY = 8;
constexpr int kIconSize = 32;
constexpr int kSpacing = 8;
constexpr int kTrailingWidth = 56;
constexpr int kPinSize = 14;
constexpr int kSymbolSize = 18;
constexpr int kSymbolGap = 24;
constexpr int kTextLines = 3;
constexpr int kFileLines = 2;
// Previews kept: a few listings' worth, a few hundred kilobytes at most.
constexpr int kCachedPreviews = 1000;

// A desktop icon-theme symbol, else our own drawing of the same picture.
QIcon symbol(const char *themeName, const char *bundled)
{
    return QIcon::fromTheme(QLatin1String(themeName),
        QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(bundled))));
}

// The part of a row that holds the preview.
QRect contentRect(const QRect &item, bool pinned)
{
    const QRect row = item.adjusted(8, 1, -8, -1);
    int x = row.left() + kPaddingX + kIconSize + kSpacing;
    if (pinned)
        x += kPinSize + kSpacing / 2;
    const int trailingLeft = row.right() - kPaddingX - kTrailingWidth;
    const int top = row.top() + kPaddingY;
    return QRect(x, top, std::max(1, trailingLeft - x - kSpacing),
        std::max(1, row.bottom() - kPaddingY - top));
}

// The width rows get: the list lays them out across its viewport.
int itemWidth(const QStyleOptionViewItem &option)
{
    if (const auto *list = qobject_cast<const QListView *>(option.widget))
        return list->viewport()->width() - 2 * list->spacing();
    return option.rect.width();
}

void drawLines(QPainter *painter, const QRect &rect, const QStringList &lines, const QColor &color)
{
    const int spacing = QFontMetrics(painter->font()).lineSpacing();
    painter->setPen(color);
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter->drawText(QRect(rect.left(), rect.top() + int(i) * spacing, rect.width(), spacing),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines.at(i));
}

QStringList fileNames(const QString &text)
{
    QStringList names;
    for (const QString &path : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names.append(QFileInfo(path).fileName());
    return names;
}

} // namespace

PaletteRowDelegate::PaletteRowDelegate(AppIconCache &icons, Thumbnails &thumbnails, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_icons(icons)
    , m_thumbnails(thumbnails)
    , m_previews(kCachedPreviews)
{ }

QRect PaletteRowDelegate::actionsArea(const QRect &item, const QSize &size)
{
    const QRect row = item.adjusted(8, 1, -8, -1);
    return QRect(QPoint(row.right() - kPaddingX - size.width() + 1,
                     row.top() + (row.height() - size.height()) / 2),
        size);
}

QStringList PaletteRowDelegate::previewLines(QString text, const QFont &font, int width, int lines)
{
    text.truncate(kPreviewCharacters);
    text.replace(QLatin1Char('\t'), QLatin1String("    "));
    const QFontMetrics metrics(font);
    QStringList shown;
    bool more = false;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size() && !more; ++p) {
        if (shown.size() == lines) {
            more = !paragraphs.mid(p).join(QString()).trimmed().isEmpty();
            break;
        }
        QTextLayout layout(paragraphs.at(p), font);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            if (shown.size() == lines) {
                more = true;
                break;
            }
            line.setLineWidth(width);
            shown.append(paragraphs.at(p).mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
    }
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QString &line = shown[i];
        // A word longer than the width overflows its line; it is cut like
        // the last line of a longer text.
        if (i == shown.size() - 1 && more)
            line = metrics.elidedText(line + QStringLiteral(" …"), Qt::ElideRight, width);
        else if (metrics.horizontalAdvance(line) > width)
            line = metrics.elidedText(line, Qt::ElideRight, width);
    }
    return shown;
}

QStringList PaletteRowDelegate::preview(
    const ClipItem &item, const QFont &font, int width, int lines) const
{
    // An entry's content never changes; its id, the width and the font say
    // which lines it shows.
    const QString key = item.id().toString(QUuid::WithoutBraces) + QLatin1Char('/')
        + QString::number(width) + QLatin1Char('/') + QString::number(lines) + QLatin1Char('/')
        + font.key();
    if (const QStringList *kept = m_previews.object(key))
        return *kept;
    const QString text = item.kind() == ClipKind::file
        ? fileNames(item.text()).join(QStringLiteral(", "))
        : item.text();
    QStringList shown = previewLines(text, font, width, lines);
    m_previews.insert(key, new QStringList(shown));
    return shown;
}

QSize PaletteRowDelegate::sizeHint(
    const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const ClipItemPtr item = index.data(PaletteModel::ItemRole).value<ClipItemPtr>();
    const int lineHeight = option.fontMetrics.lineSpacing();
    const int width = itemWidth(option);
    int content = lineHeight;
    if (item) {
        const int textWidth = contentRect(QRect(0, 0, width, 1000), item->isPinned()).width();
        switch (item->kind()) {
        case ClipKind::image:
            content = Thumbnails::kHeight;
            break;
        case ClipKind::file: {
            const QStringList shown
                = preview(*item, option.font, textWidth - kSymbolGap, kFileLines);
            content = std::max<int>(kSymbolSize, lineHeight * int(shown.size()));
            break;
        }
        case ClipKind::text:
        case ClipKind::richText:
            content = lineHeight
                * int(std::max<qsizetype>(
                    1, preview(*item, option.font, textWidth, kTextLines).size()));
            break;
        }
    }
    // The highlight and the padding take 1 + 8 points above and below.
    return QSize(width, std::max(kIconSize + 1, content) + 2 * (kPaddingY + 1));
}

void PaletteRowDelegate::paintPreview(QPainter *painter, const ClipItem &item, const QRect &content,
    const QStyleOptionViewItem &option) const
{
    const QColor text = option.palette.color(QPalette::Text);
    const int top = content.top();
    switch (item.kind()) {
    case ClipKind::image: {
        const auto thumbnail
            = item.imageFileRef() ? m_thumbnails.thumbnail(*item.imageFileRef()) : std::nullopt;
        if (thumbnail) {
            const QSize size
                = thumbnail->size()
                      .scaled(content.width(), Thumbnails::kHeight, Qt::KeepAspectRatio)
                      .boundedTo(thumbnail->size());
            painter->drawPixmap(QRect(content.topLeft(), size), *thumbnail);
        } else {
            symbol("image-x-generic", "photo")
                .paint(painter, QRect(content.left(), top, kSymbolSize, kSymbolSize));
            painter->setPen(text);
            painter->drawText(content.adjusted(kSymbolGap, 0, 0, 0),
                Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, tr("Image"));
        }
        break;
    }
    case ClipKind::file: {
        symbol("text-x-generic", "doc")
            .paint(painter, QRect(content.left(), top, kSymbolSize, kSymbolSize));
        const QRect names = content.adjusted(kSymbolGap, 0, 0, 0);
        drawLines(painter, names, preview(item, option.font, names.width(), kFileLines), text);
        break;
    }
    case ClipKind::text:
    case ClipKind::richText:
        drawLines(painter, content, preview(item, option.font, content.width(), kTextLines), text);
        break;
    }
}

void PaletteRowDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const ClipItemPtr item = index.data(PaletteModel::ItemRole).value<ClipItemPtr>();
    if (!item)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(option.font);
    const QRect row = option.rect.adjusted(8, 1, -8, -1);
    const QPalette &palette = option.palette;
    if (index.data(PaletteModel::SelectedRole).toBool()) {
        QColor fill = m_accent;
        fill.setAlphaF(0.28f);
        QPainterPath path;
        path.addRoundedRect(row, 6, 6);
        painter->fillPath(path, fill);
    }

    const int left = row.left() + kPaddingX;
    const int top = row.top() + kPaddingY;
    const QColor tertiary = palette.color(QPalette::Disabled, QPalette::Text);
    const QRect iconRect(left, top + 1, kIconSize, kIconSize);
    if (const auto icon = m_icons.icon(item->sourceAppBundleID()))
        icon->paint(painter, iconRect);
    else
        QIcon(QStringLiteral(":/icons/app-dashed.svg")).paint(painter, iconRect);
    if (item->isPinned())
        QIcon(QStringLiteral(":/icons/pin.svg"))
            .paint(painter, QRect(left + kIconSize + kSpacing, top + 2, kPinSize, kPinSize));

    paintPreview(painter, *item, contentRect(option.rect, item->isPinned()), option);

    if (index.row() != m_actionsRow) {
        if (const QVariant quick = index.data(PaletteModel::QuickKeyRole); quick.isValid()) {
            QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            mono.setPointSizeF(std::max(7.0, option.font.pointSizeF() * 0.8));
            painter->setFont(mono);
            painter->setPen(tertiary);
            const int trailingLeft = row.right() - kPaddingX - kTrailingWidth;
            painter->drawText(QRect(trailingLeft, top, kTrailingWidth, option.fontMetrics.height()),
                Qt::AlignRight | Qt::AlignVCenter, tr("Ctrl+%1").arg(quick.toInt()));
        }
    }
    painter->restore();
}

} // namespace scrivlet
