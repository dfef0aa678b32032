// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QToolButton;

namespace scrivlet {

// The pin and delete buttons of one row, as real buttons: they have
// tooltips, take the keyboard (Tab from the search field) and are named to
// screen readers. They sit over the row under the pointer, or over the
// selected row while one of them has the keyboard.
class PaletteRowActions : public QWidget
{
    Q_OBJECT

public:
    explicit PaletteRowActions(QWidget *viewport);

    // Over the trailing part of the row, for an entry pinned or not; the
    // entry's text names the buttons' target to a screen reader.
    void showOver(int row, const QRect &area, bool pinned, const QString &entry);
    void conceal();
    // The row they act on, -1 when hidden.
    [[nodiscard]] int row() const { return m_row; }
    [[nodiscard]] bool hasKeyboard() const;
    [[nodiscard]] QToolButton &pinButton() const { return *m_pin; }
    [[nodiscard]] QToolButton &removeButton() const { return *m_remove; }

    static constexpr int kButtonSize = 22;
    static constexpr int kSpacing = 4;
    static constexpr QSize kSize {2 * kButtonSize + kSpacing, kButtonSize};

Q_SIGNALS:
    void pinClicked(int row);
    void removeClicked(int row);

private:
    QToolButton *m_pin;
    QToolButton *m_remove;
    int m_row = -1;
};

} // namespace scrivlet
