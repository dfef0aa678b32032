// SPDX-License-Identifier: GPL-3.0-or-later
#include "Scheduler.h"

#include <QTimer>

namespace scrivlet {

namespace {

class EventLoopScheduler : public Scheduler
{
public:
    void after(int milliseconds, QObject *context, std::function<void()> task) override
    {
        QTimer::singleShot(milliseconds, context, std::move(task));
    }
};

} // namespace

Scheduler &Scheduler::eventLoop()
{
    static EventLoopScheduler scheduler;
    return scheduler;
}

} // namespace scrivlet
