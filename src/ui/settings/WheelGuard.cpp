// SPDX-License-Identifier: GPL-3.0-or-later
#include "WheelGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QWheelEvent>

namespace scrivlet {

namespace {

bool reactsToWheel(const QWidget *widget)
{
    return qobject_cast<const QAbstractSpinBox *>(widget) || qobject_cast<const QComboBox *>(widget)
        || qobject_cast<const QAbstractSlider *>(widget)
        || (widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus;
}

QAbstractScrollArea *enclosingScrollArea(QWidget *widget)
{
    for (QWidget *up = widget->parentWidget(); up; up = up->parentWidget()) {
        if (auto *area = qobject_cast<QAbstractScrollArea *>(up))
            return area;
    }
    return nullptr;
}

} // namespace

void WheelGuard::guardControlsUnder(QWidget *root)
{
    auto *guard = new WheelGuard(root);
    for (QWidget *widget : root->findChildren<QWidget *>()) {
        if (!reactsToWheel(widget))
            continue;
        // A wheel turn must not give the focus, or the guard would let it by.
        if ((widget->focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
            widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(guard);
    }
}

bool WheelGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    auto *control = static_cast<QWidget *>(watched);
    if (control->hasFocus())
        return false;
    // Handed on explicitly: Qt does not pass a wheel event it did not
    // receive from the window system on to the parents.
    if (QAbstractScrollArea *area = enclosingScrollArea(control)) {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        QWidget *viewport = area->viewport();
        QWheelEvent scroll(viewport->mapFromGlobal(wheel->globalPosition()),
            wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(), wheel->buttons(),
            wheel->modifiers(), wheel->phase(), wheel->inverted(), wheel->source());
        QCoreApplication::sendEvent(viewport, &scroll);
    }
    // Accepted, so that a window-system event does not go on up to the
    // viewport as well and scroll twice.
    event->accept();
    return true;
}

} // namespace scrivlet
