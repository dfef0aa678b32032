// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandRequest.h"
#include "core/history/ClipItem.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

namespace scrivlet {

class AppSettings;
class ClipStore;
class DefaultsStore;
class DesktopEntries;
class KeySender;
class Pasteboard;
class Workspace;

// Carries out the command line's requests in the running Scrivlet, with the
// same objects the tray and the palette use.
class CommandHandler : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(const CommandResponse &)>;

    struct Services
    {
        // None while the key is being loaded.
        std::function<ClipStore *()> store;
        AppSettings &settings;
        Pasteboard &pasteboard;
        Workspace &workspace;
        KeySender &keys;
        DesktopEntries &applications;
        DefaultsStore &defaults;
        // Asked at each status, since a desktop's abilities can come and go
        // (GNOME's Shell extension). Why the desktop hides other programs'
        // copies from us, in English; empty when it does not.
        std::function<QString()> captureUnavailable = [] { return QString(); };
        // What else the desktop withholds, a line each, told with the status.
        std::function<QStringList()> withheld = [] { return QStringList(); };
    };

    explicit CommandHandler(Services services, QObject *parent = nullptr);

    // Replies once, at once or (paste) after the keystroke.
    void handle(const CommandRequest &request, const Reply &reply);

    // Between writing an entry and the paste keystroke, as the palette waits.
    static constexpr int kKeystrokeDelayMs = 120;

Q_SIGNALS:
    void toggleRequested();
    void showRequested();
    void hideRequested();
    void settingsRequested();

private:
    [[nodiscard]] std::vector<ClipItemPtr> displayed(std::optional<int> limit) const;
    [[nodiscard]] Result<ClipItemPtr> find(const QString &target) const;
    [[nodiscard]] CommandResponse listing(const CommandRequest &request) const;
    [[nodiscard]] CommandResponse capture(const CommandRequest &request);
    void copy(const CommandRequest &request, const Reply &reply);

    Services m_services;
};

} // namespace scrivlet
