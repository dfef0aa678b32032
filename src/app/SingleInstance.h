// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/cli/CommandRequest.h"

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace scrivlet {

// One Scrivlet per user: a lock file in the user's runtime folder says who
// runs, and its socket there takes the command line's requests, one JSON
// line per connection, from processes of the same user only.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(const CommandResponse &)>;
    using Handler = std::function<void(const CommandRequest &, const Reply &)>;

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR, else a private folder of the user's under /tmp.
    static QString runtimeFolder();
    static QString socketPath();

    // True when this process is the one Scrivlet; it then listens.
    [[nodiscard]] bool claim();
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Whose requests are answered; the user running Scrivlet, unless a test
    // says otherwise.
    void setAllowedUser(uid_t user) { m_allowedUser = user; }

    struct SendFailure
    {
        bool notRunning = false; // nobody listens: one may be started
        QString why;
    };
    // A second process: sends the request to the running one and waits for
    // its answer. None on failure, which `failure` then describes.
    [[nodiscard]] static std::optional<CommandResponse> send(
        const CommandRequest &request, SendFailure *failure = nullptr, int timeoutMs = 30000);

private:
    void serve(QLocalSocket *peer);

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer m_server;
    Handler m_handler;
    uid_t m_allowedUser;
};

} // namespace scrivlet
