// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCache>
#include <QColor>
#include <QStringList>
#include <QStyledItemDelegate>

namespace scrivlet {

class AppIconCache;
class ClipItem;
class Thumbnails;

// Draws one history entry: its application's icon, a pin for pinned ones, a
// short plain-text preview (or a thumbnail, or file names), and at the right
// the entry's quick key, except on the row that shows its buttons
// (PaletteRowActions). A row is as tall as the preview it draws.
class PaletteRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    PaletteRowDelegate(AppIconCache &icons, Thumbnails &thumbnails, QObject *parent = nullptr);

    void setAccent(const QColor &accent) { m_accent = accent; }
    // The row whose buttons are shown in place of its quick key.
    void setActionsRow(int row) { m_actionsRow = row; }
    // Where a row's buttons go, in the row's rectangle.
    [[nodiscard]] static QRect actionsArea(const QRect &item, const QSize &size);
    // The lines a preview shows in that width: at most `lines`, each cut
    // with an ellipsis when it does not fit (a long word, or more text).
    [[nodiscard]] static QStringList previewLines(
        QString text, const QFont &font, int width, int lines);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    [[nodiscard]] QSize sizeHint(
        const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Longest text laid out for a preview: clipboard text can be huge.
    static constexpr int kPreviewCharacters = 400;

private:
    // The text, thumbnail or file names, in the row's content area.
    void paintPreview(QPainter *painter, const ClipItem &item, const QRect &content,
        const QStyleOptionViewItem &option) const;
    // previewLines of the entry's text or file names, kept: the list asks
    // every row's height each time it lays the rows out.
    [[nodiscard]] QStringList preview(
        const ClipItem &item, const QFont &font, int width, int lines) const;

    AppIconCache &m_icons;
    Thumbnails &m_thumbnails;
    QColor m_accent;
    int m_actionsRow = -1;
    mutable QCache<QString, QStringList> m_previews;
};

} // namespace scrivlet
