// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linux/GLibHandles.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <signal.h>

namespace scrivlet::testing {

// A throwaway desktop session for one test: its own HOME and XDG folders, its
// own D-Bus daemon and, on demand, gnome-keyring on that bus. The bus
// activates nothing, so neither the user's keyring nor a password prompter
// can turn up: an unlock prompt fails at once. Everything started is stopped
// on destruction. Each step returns false with error() set.
class KeyringSession
{
public:
    KeyringSession()
    {
        for (const char *folder : {"home", "runtime", "data", "config", "cache", "services"})
            QDir(m_root.path()).mkpath(QString::fromLatin1(folder));
        QFile::setPermissions(
            m_root.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~KeyringSession()
    {
        m_connection.reset();
        stopKeyring();
        stop(m_bus);
    }
    KeyringSession(const KeyringSession &) = delete;
    KeyringSession &operator=(const KeyringSession &) = delete;

    // Makes the bus list a name as activatable; its service cannot start.
    // Only before startBus().
    [[nodiscard]] bool addActivatableName(const QString &name)
    {
        return write(m_root.filePath("services/" + name + ".service"),
                   "[D-BUS Service]\nName=" + name.toUtf8() + "\nExec=/bin/false\n")
            || fail("cannot write the service file for " + name);
    }

    [[nodiscard]] bool startBus()
    {
        // No standard service folders: only what a test put into ours is activatable.
        const QString config
            = QStringLiteral("<busconfig><type>session</type>"
                             "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                             "<servicedir>%2</servicedir><policy context=\"default\">"
                             "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                             "<allow own=\"*\"/></policy></busconfig>")
                  .arg(m_root.filePath("bus"), m_root.filePath("services"));
        if (!m_root.isValid() || !write(m_root.filePath("bus.conf"), config.toUtf8()))
            return fail("cannot write the bus configuration");
        m_bus.setProcessEnvironment(environment());
        m_bus.start("dbus-daemon",
            {"--config-file=" + m_root.filePath("bus.conf"), "--nofork", "--print-address"});
        (void)pollUntil([this] {
            m_bus.waitForReadyRead(20);
            return m_bus.canReadLine() || m_bus.state() == QProcess::NotRunning;
        });
        if (!m_bus.canReadLine())
            return fail("dbus-daemon printed no address: " + m_bus.readAllStandardError());
        m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());
        GError *raw = nullptr;
        m_connection.reset(g_dbus_connection_new_for_address_sync(m_busAddress.toUtf8().constData(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &raw));
        const ErrorPtr error(raw);
        return m_connection || fail(QStringLiteral("cannot connect: ") + error->message);
    }

    // Returns once the login keyring is the unlocked default collection.
    [[nodiscard]] bool startKeyring()
    {
        m_keyring.setProcessEnvironment(environment());
        m_keyring.setStandardOutputFile(QProcess::nullDevice());
        m_keyring.start(
            "gnome-keyring-daemon", {"--unlock", "--components=secrets", "--foreground"});
        if (!m_keyring.waitForStarted(kStartupMs))
            return fail("gnome-keyring-daemon: " + m_keyring.errorString());
        // It reads the login password up to end of input.
        m_keyring.write(kPassword);
        m_keyring.waitForBytesWritten(kStartupMs);
        m_keyring.closeWriteChannel();
        return waitUntilUnlocked();
    }

    // Unlocks the keyring again from what it wrote to disk.
    [[nodiscard]] bool restartKeyring()
    {
        stopKeyring();
        return startKeyring();
    }

    [[nodiscard]] bool lockDefaultCollection()
    {
        const QByteArray path = defaultCollectionPath();
        const gchar *objects[] = {path.constData(), nullptr};
        const VariantPtr reply = path.isEmpty() ? nullptr
                                                : call(kServicePath, kServiceInterface, "Lock",
                                                    g_variant_new("(^ao)", objects), "(aoo)");
        const gchar *prompt = nullptr;
        if (reply)
            g_variant_get(reply.get(), "(@ao&o)", nullptr, &prompt);
        return g_strcmp0(prompt, "/") == 0 || fail("cannot lock: " + m_error);
    }

    // With the login password, as a desktop's login does: no prompt.
    [[nodiscard]] bool unlockDefaultCollection()
    {
        const QByteArray path = defaultCollectionPath();
        const QByteArray session = plainSession();
        if (path.isEmpty() || session.isEmpty())
            return fail("cannot unlock: " + m_error);
        (void)call(kServicePath, "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
            "UnlockWithMasterPassword",
            g_variant_new("(o@(oayays))", path.constData(), plainSecret(session, kPassword)), "()");
        return waitUntilUnlocked();
    }

    [[nodiscard]] bool removeDefaultAlias()
    {
        (void)call(kServicePath, kServiceInterface, "SetAlias",
            g_variant_new("(so)", "default", "/"), "()");
        return defaultCollectionPath().isEmpty() || fail("the default alias stays");
    }

    // An item under Scrivlet's service and account, as a user or another
    // program (secret-tool) may leave beside, not over, Scrivlet's own.
    [[nodiscard]] bool addItem(const QByteArray &secret)
    {
        const QByteArray path = defaultCollectionPath();
        const QByteArray session = plainSession();
        if (path.isEmpty() || session.isEmpty())
            return fail("cannot add an item: " + m_error);
        GVariant *properties = g_variant_new_parsed(
            "{'org.freedesktop.Secret.Item.Label': <'stored by hand'>,"
            " 'org.freedesktop.Secret.Item.Attributes': <{'service': 'org.scrivlet.Scrivlet',"
            " 'account': 'content-encryption-key'}>}");
        return call(path.constData(), "org.freedesktop.Secret.Collection", "CreateItem",
                   g_variant_new(
                       "(@a{sv}@(oayays)b)", properties, plainSecret(session, secret), FALSE),
                   "(oo)")
            || fail(m_error);
    }

    // Leaves the bus name owned by a process that never answers.
    [[nodiscard]] bool suspendKeyring()
    {
        const qint64 pid = m_keyring.processId();
        if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0)
            return fail("cannot stop gnome-keyring-daemon");
        // Signals are delivered asynchronously; the test needs it silent already.
        return pollUntil([pid] { return processState(pid) == 'T'; })
            || fail("gnome-keyring-daemon did not stop");
    }

    // For child processes: our folders and bus, no display.
    [[nodiscard]] QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QStringList dropped {
            "DISPLAY", "WAYLAND_DISPLAY", "GNOME_KEYRING_CONTROL", "SSH_AUTH_SOCK"};
        for (const QString &key : env.keys()) {
            if (key.startsWith("XDG_") || key.startsWith("DBUS_") || dropped.contains(key))
                env.remove(key);
        }
        for (const auto &[name, folder] :
            {std::pair {"HOME", "home"}, {"XDG_RUNTIME_DIR", "runtime"}, {"XDG_DATA_HOME", "data"},
                {"XDG_CONFIG_HOME", "config"}, {"XDG_CACHE_HOME", "cache"}})
            env.insert(name, m_root.filePath(folder));
        if (!m_busAddress.isEmpty())
            env.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
        return env;
    }

    [[nodiscard]] const QString &error() const { return m_error; }

private:
    static constexpr const char *kServicePath = "/org/freedesktop/secrets";
    static constexpr const char *kServiceInterface = "org.freedesktop.Secret.Service";
    static constexpr const char *kPassword = "scrivlet-test-password";
    // Generous: a loaded CI machine may be slow to start daemons.
    static constexpr int kStartupMs = 20000;
    static constexpr int kCallTimeoutMs = 5000;

    static void closeConnection(GDBusConnection *connection)
    {
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }

    static bool write(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(content) == content.size();
    }

    // Another process's state is only seen by asking again.
    static bool pollUntil(const std::function<bool()> &fact)
    {
        const QDeadlineTimer deadline(kStartupMs);
        while (!fact()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    // The state letter in /proc/<pid>/stat; the command name may hold spaces.
    static char processState(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const qsizetype close = line.lastIndexOf(')');
        return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(kCallTimeoutMs)) {
            process.kill();
            process.waitForFinished(kCallTimeoutMs);
        }
    }

    // A secret for a session that carries them in the clear.
    static GVariant *plainSecret(const QByteArray &session, const QByteArray &secret)
    {
        return g_variant_new("(o@ay@ays)", session.constData(),
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
            g_variant_new_fixed_array(
                G_VARIANT_TYPE_BYTE, secret.constData(), gsize(secret.size()), 1),
            "application/octet-stream");
    }

    bool fail(const QString &message)
    {
        m_error = message;
        return false;
    }

    [[nodiscard]] QByteArray defaultCollectionPath()
    {
        const VariantPtr reply = call(
            kServicePath, kServiceInterface, "ReadAlias", g_variant_new("(s)", "default"), "(o)");
        const gchar *path = "/";
        if (reply)
            g_variant_get(reply.get(), "(&o)", &path);
        return g_strcmp0(path, "/") == 0 ? QByteArray() : QByteArray(path);
    }

    // A session of our connection that carries secrets in the clear.
    [[nodiscard]] QByteArray plainSession()
    {
        const VariantPtr reply = call(kServicePath, kServiceInterface, "OpenSession",
            g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
        const gchar *path = nullptr;
        if (reply)
            g_variant_get(reply.get(), "(v&o)", nullptr, &path);
        return QByteArray(path);
    }

    [[nodiscard]] bool isUnlocked()
    {
        const QByteArray path = defaultCollectionPath();
        const VariantPtr reply = path.isEmpty()
            ? nullptr
            : call(path.constData(), "org.freedesktop.DBus.Properties", "Get",
                g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), "(v)");
        GVariant *raw = nullptr;
        if (reply)
            g_variant_get(reply.get(), "(v)", &raw);
        const VariantPtr locked(raw);
        return locked && g_variant_is_of_type(locked.get(), G_VARIANT_TYPE_BOOLEAN)
            && g_variant_get_boolean(locked.get()) == FALSE;
    }

    [[nodiscard]] bool waitUntilUnlocked()
    {
        const bool unlocked = pollUntil(
            [this] { return m_keyring.state() == QProcess::NotRunning || isUnlocked(); });
        if (m_keyring.state() == QProcess::NotRunning)
            return fail("gnome-keyring-daemon exited: " + m_keyring.readAllStandardError());
        return unlocked || fail("gnome-keyring stays locked: " + m_error);
    }

    [[nodiscard]] VariantPtr call(const char *path, const char *interface, const char *method,
        GVariant *parameters, const char *replyType)
    {
        GError *raw = nullptr;
        VariantPtr reply(g_dbus_connection_call_sync(m_connection.get(), "org.freedesktop.secrets",
            path, interface, method, parameters, G_VARIANT_TYPE(replyType),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &raw));
        const ErrorPtr error(raw);
        if (error)
            m_error = QString::fromLatin1(method) + ": " + QString::fromUtf8(error->message);
        return reply;
    }

    void stopKeyring()
    {
        // A suspended daemon would not hear the request to end.
        if (m_keyring.state() != QProcess::NotRunning)
            ::kill(pid_t(m_keyring.processId()), SIGCONT);
        stop(m_keyring);
    }

    QTemporaryDir m_root;
    QString m_busAddress;
    QProcess m_bus;
    QProcess m_keyring;
    UniqueHandle<GDBusConnection, closeConnection> m_connection;
    QString m_error;
};

} // namespace scrivlet::testing
