// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Dialogs.h"

#include <QStringList>
#include <deque>

namespace scrivlet::testing {

// Answers questions from a queue set up ahead; remembers what was said.
class FakeDialogs : public Dialogs
{
public:
    std::deque<bool> answers;
    QStringList asked;
    QStringList told;
    std::deque<int> choices;
    int beeps = 0;

    bool confirm(const QString &message, const QString &, const QString &, const QString &) override
    {
        asked.append(message);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void inform(const QString &message, const QString &) override { told.append(message); }
    void critical(const QString &message, const QString &details) override
    {
        told.append(message + QLatin1Char(' ') + details);
    }
    int choose(const QString &message, const QString &, const QStringList &) override
    {
        asked.append(message);
        if (choices.empty())
            return 0;
        const int choice = choices.front();
        choices.pop_front();
        return choice;
    }
    void beep() override { ++beeps; }
    // What the application chooser answers, in turn; an empty id cancels.
    QStringList chosenApplications;
    std::optional<QString> chooseApplication(
        const std::vector<DesktopEntries::Entry> &, AppIconCache &) override
    {
        const QString chosen
            = chosenApplications.isEmpty() ? QString() : chosenApplications.takeFirst();
        return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
    }
};

} // namespace scrivlet::testing
