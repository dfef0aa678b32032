// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QList>

namespace scrivlet {

// Text at a fraction of the window text's strength (the design's secondary
// and tertiary colours), recomputed whenever the palette changes, so that it
// stays readable when light and dark switch while it is shown.
class FadedLabel : public QLabel
{
    Q_OBJECT

public:
    static constexpr float kSecondary = 0.6f;
    static constexpr float kTertiary = 0.4f;

    explicit FadedLabel(
        const QString &text, float strength = kSecondary, QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;

private:
    void follow();

    float m_strength;
};

class Divider : public QWidget
{
    Q_OBJECT

public:
    explicit Divider(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

namespace prefs {

[[nodiscard]] QFont captionFont(const QWidget *widget);
// Sets one colour role, leaving every other role to follow the palette.
void setColor(QWidget *widget, QPalette::ColorRole role, const QColor &color);
// A titled section: its symbol and title above its rows, on a faint rounded box.
[[nodiscard]] QWidget *section(const QString &icon, const QColor &color, const QString &title,
    const QList<QWidget *> &rows, QWidget *parent);
// A label on the left, its control on the right.
[[nodiscard]] QWidget *row(const QString &label, QWidget *control);
// A caption in the secondary colour, wrapped.
[[nodiscard]] FadedLabel *note(const QString &text);

} // namespace prefs

} // namespace scrivlet
