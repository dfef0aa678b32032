// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteRowDelegate.h"

#include "PaletteModel.h"
#include "Thumbnails.h"
#include "ui/AppIconCache.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
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
constexpr int kButtonSize = 22;
constexpr int kTextLines = 3;
constexpr int kFileLines = 2;

// A desktop icon-theme symbol, else our own drawing of the same picture.
QIcon symbol(const char *themeName, const char *bundled)
{
    return QIcon::fromTheme(QLatin1String(themeName),
        QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(bundled))));
}

QRect buttonRect(const QRect &row, int fromRight)
{
    const int right = row.right() - kPaddingX - fromRight * (kButtonSize + 4);
    return QRect(right - kButtonSize + 1, row.top() + (row.height() - kButtonSize) / 2, kButtonSize,
        kButtonSize);
}

// Plain text only, cut before layout, at most `lines` lines; an ellipsis
// ends the last one when there is more.
void drawText(QPainter *painter, const QRect &rect, QString text, int lines, const QColor &color)
{
    text.truncate(PaletteRowDelegate::kPreviewCharacters);
    text.replace(QLatin1Char('\t'), QLatin1String("    "));
    const QFontMetrics metrics(painter->font());
    QStringList shown;
    bool more = false;
    const QStringList paragraphs = text.split(QLatin1Char('\n'));
    for (qsizetype p = 0; p < paragraphs.size() && !more; ++p) {
        if (shown.size() == lines) {
            more = !paragraphs.mid(p).join(QString()).trimmed().isEmpty();
            break;
        }
        QTextLayout layout(paragraphs.at(p), painter->font());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            if (shown.size() == lines) {
                more = true;
                break;
            }
            line.setLineWidth(rect.width());
            shown.append(paragraphs.at(p).mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
    }
    painter->setPen(color);
    for (int i = 0; i < shown.size(); ++i) {
        QString line = shown.at(i).trimmed();
        if (i == shown.size() - 1 && more)
            line = metrics.elidedText(line + QStringLiteral(" …"), Qt::ElideRight, rect.width());
        painter->drawText(QRect(rect.left(), rect.top() + i * metrics.lineSpacing(), rect.width(),
                              metrics.lineSpacing()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
    }
}

} // namespace

PaletteRowDelegate::PaletteRowDelegate(AppIconCache &icons, Thumbnails &thumbnails, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_icons(icons)
    , m_thumbnails(thumbnails)
{ }

PaletteRowDelegate::Button PaletteRowDelegate::buttonAt(const QRect &row, const QPoint &point)
{
    if (buttonRect(row, 1).contains(point))
        return Button::pin;
    if (buttonRect(row, 0).contains(point))
        return Button::remove;
    return Button::none;
}

QSize PaletteRowDelegate::sizeHint(
    const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const ClipItemPtr item = index.data(PaletteModel::ItemRole).value<ClipItemPtr>();
    const int lineHeight = option.fontMetrics.lineSpacing();
    int content = lineHeight;
    if (item) {
        switch (item->kind()) {
        case ClipKind::image:
            content = Thumbnails::kHeight;
            break;
        case ClipKind::file:
            content = lineHeight * std::min(kFileLines, 1 + int(item->byteSize() > 60));
            break;
        default: {
            const qsizetype lines
                = item->text().left(kPreviewCharacters).count(QLatin1Char('\n')) + 1;
            const bool wraps = item->byteSize() > 70;
            content = lineHeight
                * int(std::min<qsizetype>(kTextLines, std::max<qsizetype>(lines, wraps ? 2 : 1)));
        }
        }
    }
    return QSize(option.rect.width(), std::max(kIconSize, content) + 2 * kPaddingY);
}

void PaletteRowDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const ClipItemPtr item = index.data(PaletteModel::ItemRole).value<ClipItemPtr>();
    if (!item)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect row = option.rect.adjusted(8, 1, -8, -1);
    const QPalette &palette = option.palette;
    if (index.data(PaletteModel::SelectedRole).toBool()) {
        QColor fill = m_accent;
        fill.setAlphaF(0.28f);
        QPainterPath path;
        path.addRoundedRect(row, 6, 6);
        painter->fillPath(path, fill);
    }

    int x = row.left() + kPaddingX;
    const int top = row.top() + kPaddingY;
    const QColor tertiary = palette.color(QPalette::Disabled, QPalette::Text);
    if (const auto icon = m_icons.icon(item->sourceAppBundleID()))
        icon->paint(painter, QRect(x, top + 1, kIconSize, kIconSize));
    else
        QIcon(QStringLiteral(":/icons/app-dashed.svg"))
            .paint(painter, QRect(x, top + 1, kIconSize, kIconSize));
    x += kIconSize + kSpacing;
    if (item->isPinned()) {
        QIcon(QStringLiteral(":/icons/pin.svg")).paint(painter, QRect(x, top + 2, 14, 14));
        x += 14 + kSpacing / 2;
    }

    const int trailingLeft = row.right() - kPaddingX - kTrailingWidth;
    const QRect content(x, top, trailingLeft - x - kSpacing, row.bottom() - kPaddingY - top);
    const QColor text = palette.color(QPalette::Text);
    switch (item->kind()) {
    case ClipKind::image: {
        const auto thumbnail
            = item->imageFileRef() ? m_thumbnails.thumbnail(*item->imageFileRef()) : std::nullopt;
        if (thumbnail) {
            const QSize size
                = thumbnail->size()
                      .scaled(content.width(), Thumbnails::kHeight, Qt::KeepAspectRatio)
                      .boundedTo(thumbnail->size());
            painter->drawPixmap(QRect(content.topLeft(), size), *thumbnail);
        } else {
            symbol("image-x-generic", "photo").paint(painter, QRect(content.left(), top, 18, 18));
            painter->setPen(text);
            painter->drawText(
                content.adjusted(24, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, tr("Image"));
        }
        break;
    }
    case ClipKind::file: {
        QStringList names;
        for (const QString &path : item->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            names.append(QFileInfo(path).fileName());
        symbol("text-x-generic", "doc").paint(painter, QRect(content.left(), top, 18, 18));
        drawText(painter, content.adjusted(24, 0, 0, 0), names.join(QStringLiteral(", ")),
            kFileLines, text);
        break;
    }
    case ClipKind::text:
    case ClipKind::richText:
        drawText(painter, content, item->text(), kTextLines, text);
        break;
    }

    if (index.row() == m_hoveredRow) {
        QIcon(
            QStringLiteral(":/icons/%1.svg")
                .arg(item->isPinned() ? QLatin1String("pin-slash") : QLatin1String("pin-outline")))
            .paint(painter, buttonRect(row, 1).adjusted(3, 3, -3, -3));
        symbol("user-trash", "trash").paint(painter, buttonRect(row, 0).adjusted(3, 3, -3, -3));
    } else if (const QVariant quick = index.data(PaletteModel::QuickKeyRole); quick.isValid()) {
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPointSizeF(std::max(7.0, option.font.pointSizeF() * 0.8));
        painter->setFont(mono);
        painter->setPen(tertiary);
        painter->drawText(QRect(trailingLeft, top, kTrailingWidth, option.fontMetrics.height()),
            Qt::AlignRight | Qt::AlignVCenter, tr("Ctrl+%1").arg(quick.toInt()));
    }
    painter->restore();
}

} // namespace scrivlet
