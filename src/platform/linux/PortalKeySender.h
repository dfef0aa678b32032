// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/services/KeySender.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDBusMessage;

namespace scrivlet {

struct PortalAnswer;

// The paste keystroke through the desktop portal's RemoteDesktop keyboard,
// for Wayland compositors without the virtual keyboard protocol. The desktop
// asks the user's consent when the session starts; a restore token, where
// the portal gives one, spares the question next time.
class PortalKeySender : public QObject, public KeySender
{
    Q_OBJECT

public:
    // `loadToken` gives the restore token kept from an earlier run (empty for
    // none); `saveToken` keeps the one the portal gives now.
    explicit PortalKeySender(std::function<QString()> loadToken = {},
        std::function<void(const QString &)> saveToken = {}, QObject *parent = nullptr);
    ~PortalKeySender() override;

    // Whether the session's portal offers RemoteDesktop; waits at most a
    // second for an answer.
    [[nodiscard]] static bool isOffered();

    // True once a session runs with the keyboard granted.
    [[nodiscard]] bool isTrusted() override { return m_state == State::started; }
    // Without a session, asks for one and returns false: the entry stays on
    // the clipboard while the user is asked. After a refusal only prepare()
    // asks again, so that a user who said no is not asked at every paste.
    [[nodiscard]] bool sendPaste(PasteKey key) override;
    // Asks for the session now, so that the first paste needs no question.
    void prepare();

Q_SIGNALS:
    void trustChanged(bool trusted);

private Q_SLOTS:
    void onSessionClosed(const QDBusMessage &message);

private:
    enum class State { none, starting, started, refused };

    void startSession();
    void createSession(quint64 generation, uint version);
    void selectDevices(quint64 generation, uint version);
    void start(quint64 generation);
    void fail(const QString &reason);
    void setState(State state);
    void forgetSession();
    void sendKeysym(int keysym, bool pressed, const std::shared_ptr<bool> &failed);

    QDBusConnection m_bus;
    std::function<QString()> m_loadToken;
    std::function<void(const QString &)> m_saveToken;
    State m_state = State::none;
    QString m_session;
    // Answers to requests of a session given up since are stale.
    quint64 m_generation = 0;
};

} // namespace scrivlet
