// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToggleSwitch.h"

#include <QPainter>

namespace scrivlet {

namespace {

// Off is a blend of the text into the background: as far from the window as
// the palette's own contrast allows, in light and dark alike (Mid is barely
// darker than a dark window).
QColor offTrack(const QPalette &palette)
{
    constexpr float kText = 0.3f;
    const QColor back = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::WindowText);
    return QColor::fromRgbF(back.redF() + (text.redF() - back.redF()) * kText,
        back.greenF() + (text.greenF() - back.greenF()) * kText,
        back.blueF() + (text.blueF() - back.blueF()) * kText);
}

} // namespace

ToggleSwitch::ToggleSwitch(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ToggleSwitch::sizeHint() const
{
    const int height = std::max(fontMetrics().height() + 4, 20);
    return {height * 9 / 5, height};
}

void ToggleSwitch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    QColor fill = isChecked() ? palette().color(QPalette::Highlight) : offTrack(palette());
    if (!isEnabled())
        fill.setAlphaF(0.4f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(track, radius, radius);

    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));

    if (hasFocus()) {
        QPen focus(palette().color(QPalette::Highlight), 1.5);
        painter.setPen(focus);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(
            QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius + 1, radius + 1);
    }
}

} // namespace scrivlet
