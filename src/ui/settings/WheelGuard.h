// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QWidget;

namespace scrivlet {

// Inside a scrolled window, a control under the pointer takes the wheel only
// once the user has given it the focus; otherwise the wheel scrolls the
// window. Without this, scrolling past a stepper or a picker changes it (and
// a lower history limit prunes).
class WheelGuard : public QObject
{
    Q_OBJECT

public:
    // Guards every control under `root` that reacts to the wheel.
    static void guardControlsUnder(QWidget *root);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using QObject::QObject;
};

} // namespace scrivlet
