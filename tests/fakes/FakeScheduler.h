// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Scheduler.h"

#include <QPointer>
#include <algorithm>
#include <vector>

namespace scrivlet::testing {

// Time that passes only when the test says so; what falls due runs in order.
class FakeScheduler : public Scheduler
{
public:
    void after(int milliseconds, QObject *context, std::function<void()> task) override
    {
        m_tasks.push_back({m_now + milliseconds, m_next++, context, std::move(task)});
    }
    // Moves time on, running every task due meanwhile, those they schedule included.
    void elapse(int milliseconds)
    {
        const qint64 end = m_now + milliseconds;
        for (;;) {
            const auto next = std::ranges::min_element(m_tasks, [](const Task &a, const Task &b) {
                return std::pair(a.due, a.order) < std::pair(b.due, b.order);
            });
            if (next == m_tasks.end() || next->due > end)
                break;
            Task task = std::move(*next);
            m_tasks.erase(next);
            m_now = task.due;
            if (task.context)
                task.run();
        }
        m_now = end;
    }
    [[nodiscard]] bool isIdle() const { return m_tasks.empty(); }

private:
    struct Task
    {
        qint64 due;
        quint64 order;
        QPointer<QObject> context;
        std::function<void()> run;
    };
    std::vector<Task> m_tasks;
    qint64 m_now = 0;
    quint64 m_next = 0;
};

} // namespace scrivlet::testing
