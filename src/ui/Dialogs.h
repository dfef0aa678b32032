// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/desktop/DesktopEntries.h"

#include <QString>
#include <QStringList>

namespace scrivlet {

class AppIconCache;

// Every question and message Scrivlet shows goes through here, so that tests
// answer ahead of time instead of clicking a modal box.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // True when the user chose `accept` (the default button).
    [[nodiscard]] virtual bool confirm(const QString &message, const QString &details,
        const QString &accept, const QString &cancel)
        = 0;
    virtual void inform(const QString &message, const QString &details) = 0;
    virtual void critical(const QString &message, const QString &details) = 0;
    // A warning offering `buttons`; the first is the default and what closing
    // the box chooses. Gives the index of the chosen one.
    [[nodiscard]] virtual int choose(
        const QString &message, const QString &details, const QStringList &buttons)
        = 0;
    // A key that cannot be used.
    virtual void beep() = 0;
    // One of the installed applications, by its id; none when cancelled.
    [[nodiscard]] virtual std::optional<QString> chooseApplication(
        const std::vector<DesktopEntries::Entry> &entries, AppIconCache &icons)
        = 0;
};

// Modal message boxes.
class QtDialogs : public Dialogs
{
public:
    bool confirm(const QString &message, const QString &details, const QString &accept,
        const QString &cancel) override;
    void inform(const QString &message, const QString &details) override;
    void critical(const QString &message, const QString &details) override;
    int choose(const QString &message, const QString &details, const QStringList &buttons) override;
    void beep() override;
    std::optional<QString> chooseApplication(
        const std::vector<DesktopEntries::Entry> &entries, AppIconCache &icons) override;
};

} // namespace scrivlet
