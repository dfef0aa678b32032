// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace scrivlet {

class AppIconCache;
class Thumbnails;

// Draws one history entry: its application's icon, a pin for pinned ones, a
// short plain-text preview (or a thumbnail, or file names), and at the right
// either the entry's quick key or, under the pointer, its pin and delete
// buttons.
class PaletteRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    enum class Button { none, pin, remove };

    PaletteRowDelegate(AppIconCache &icons, Thumbnails &thumbnails, QObject *parent = nullptr);

    void setAccent(const QColor &accent) { m_accent = accent; }
    void setHoveredRow(int row) { m_hoveredRow = row; }
    [[nodiscard]] int hoveredRow() const { return m_hoveredRow; }
    // Which hover button lies under the point, in a row's rectangle.
    [[nodiscard]] static Button buttonAt(const QRect &row, const QPoint &point);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    [[nodiscard]] QSize sizeHint(
        const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Longest text laid out for a preview: clipboard text can be huge.
    static constexpr int kPreviewCharacters = 400;

private:
    AppIconCache &m_icons;
    Thumbnails &m_thumbnails;
    QColor m_accent;
    int m_hoveredRow = -1;
};

} // namespace scrivlet
