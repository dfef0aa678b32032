// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linux/GLibHandles.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace scrivlet::testing {

// A throwaway desktop session for one test: its own HOME and XDG folders, its
// own D-Bus daemon and, on demand, gnome-keyring on that bus. The bus
// activates nothing, so neither the user's keyring nor a password prompter
// can turn up: an unlock prompt fails at once. Everything started is stopped
// on destruction. Each step returns false with error() set.
class KeyringSession
{
public:
    KeyringSession();
    ~KeyringSession();
    KeyringSession(const KeyringSession &) = delete;
    KeyringSession &operator=(const KeyringSession &) = delete;

    // Makes the bus list a name as activatable; its service cannot start.
    // Only before startBus().
    [[nodiscard]] bool addActivatableName(const QString &name);
    [[nodiscard]] bool startBus();
    // Returns once the login keyring is the unlocked default collection.
    [[nodiscard]] bool startKeyring();
    // Unlocks the keyring again from what it wrote to disk.
    [[nodiscard]] bool restartKeyring();
    [[nodiscard]] bool lockDefaultCollection();
    // With the login password, as a desktop's login does: no prompt.
    [[nodiscard]] bool unlockDefaultCollection();
    [[nodiscard]] bool removeDefaultAlias();
    // An item under Scrivlet's service and account, as a user or another
    // program (secret-tool) may leave beside Scrivlet's own.
    [[nodiscard]] bool addItem(const QByteArray &secret);
    // Leaves the bus name owned by a process that never answers.
    [[nodiscard]] bool suspendKeyring();

    // For child processes: our folders and bus, no display.
    [[nodiscard]] QProcessEnvironment environment() const;
    [[nodiscard]] const QString &error() const { return m_error; }

private:
    static void closeConnection(GDBusConnection *connection);

    bool fail(const QString &message);
    [[nodiscard]] QByteArray defaultCollectionPath();
    // A session of our connection that carries secrets in the clear.
    [[nodiscard]] QByteArray plainSession();
    [[nodiscard]] bool isUnlocked();
    [[nodiscard]] bool waitUntilUnlocked();
    [[nodiscard]] VariantPtr call(const char *path, const char *interface, const char *method,
        GVariant *parameters, const char *replyType);
    void stopKeyring();

    QTemporaryDir m_root;
    QString m_busAddress;
    QProcess m_bus;
    QProcess m_keyring;
    UniqueHandle<GDBusConnection, closeConnection> m_connection;
    QString m_error;
};

} // namespace scrivlet::testing
