// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

namespace scrivlet {

// Work the interface does a little later: the palette's paste keystroke and
// its single-click paste. Tests move this time on themselves instead of
// waiting it out.
class Scheduler
{
public:
    virtual ~Scheduler() = default;
    // Runs `task` on the event loop after `milliseconds`, unless `context`
    // is gone by then.
    virtual void after(int milliseconds, QObject *context, std::function<void()> task) = 0;

    // Qt's timers.
    static Scheduler &eventLoop();
};

} // namespace scrivlet
