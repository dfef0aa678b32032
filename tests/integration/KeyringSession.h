// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gio/gio.h>
#include <memory>

namespace scrivlet::testing {

// A throwaway desktop session for one test: its own HOME and XDG folders, its
// own D-Bus daemon and, on demand, gnome-keyring on that bus. The bus
// activates nothing, so neither the user's keyring nor a password prompter
// can turn up: an unlock prompt fails at once. Everything started is stopped
// on destruction.
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
    // An item beside any of the same attributes, as another program may leave.
    [[nodiscard]] bool addItem(
        const QString &service, const QString &account, const QByteArray &secret);
    [[nodiscard]] bool removeDefaultAlias();
    // Leaves the bus name owned by a process that never answers.
    [[nodiscard]] bool suspendKeyring();

    // For child processes: our folders and bus, no display.
    [[nodiscard]] QProcessEnvironment environment() const;
    [[nodiscard]] const QString &error() const { return m_error; }

private:
    struct ConnectionClose
    {
        void operator()(GDBusConnection *connection) const;
    };
    struct VariantUnref
    {
        void operator()(GVariant *variant) const { g_variant_unref(variant); }
    };
    using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

    bool fail(const QString &message);
    bool waitUntilUnlocked();
    [[nodiscard]] QString defaultCollectionPath(QString *problem);
    // A session of our connection that carries secrets in the clear.
    [[nodiscard]] QString plainSession(QString *problem);
    [[nodiscard]] GVariant *secretFor(const QString &session, const QByteArray &secret) const;
    [[nodiscard]] VariantPtr callService(const char *path, const char *interface,
        const char *method, GVariant *parameters, const char *replyType, QString *problem);
    void stopKeyring();
    void stopBus();

    QTemporaryDir m_root;
    QString m_busAddress;
    QProcess m_bus;
    QProcess m_keyring;
    bool m_suspended = false;
    std::unique_ptr<GDBusConnection, ConnectionClose> m_connection;
    QString m_error;
};

} // namespace scrivlet::testing
