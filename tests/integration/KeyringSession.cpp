// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyringSession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <functional>
#include <signal.h>

namespace scrivlet::testing {
namespace {

constexpr const char *kServicePath = "/org/freedesktop/secrets";
constexpr const char *kServiceInterface = "org.freedesktop.Secret.Service";
constexpr const char *kPassword = "scrivlet-test-password";
// Generous: a loaded CI machine may be slow to start daemons.
constexpr int kStartupMs = 20000;
constexpr int kCallTimeoutMs = 5000;

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// Another process's state is only seen by asking again.
bool pollUntil(const std::function<bool()> &fact)
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
char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

void stop(QProcess &process)
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
GVariant *plainSecret(const char *session, const QByteArray &secret)
{
    return g_variant_new("(o@ay@ays)", session,
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, secret.constData(), gsize(secret.size()), 1),
        "application/octet-stream");
}

} // namespace

void KeyringSession::closeConnection(GDBusConnection *connection)
{
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
}

KeyringSession::KeyringSession()
{
    QDir root(m_root.path());
    for (const char *folder : {"home", "runtime", "data", "config", "cache", "services"})
        root.mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

KeyringSession::~KeyringSession()
{
    m_connection.reset();
    stopKeyring();
    stop(m_bus);
}

bool KeyringSession::addActivatableName(const QString &name)
{
    const QString service = QStringLiteral("[D-BUS Service]\nName=%1\nExec=/bin/false\n").arg(name);
    return writeFile(
               m_root.filePath(QStringLiteral("services/%1.service").arg(name)), service.toUtf8())
        || fail(QStringLiteral("cannot write the service file for %1").arg(name));
}

QProcessEnvironment KeyringSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &key : env.keys()) {
        if (key.startsWith(QLatin1String("XDG_")) || key.startsWith(QLatin1String("DBUS_"))
            || key == QLatin1String("DISPLAY") || key == QLatin1String("WAYLAND_DISPLAY")
            || key == QLatin1String("GNOME_KEYRING_CONTROL")
            || key == QLatin1String("SSH_AUTH_SOCK"))
            env.remove(key);
    }
    env.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_root.filePath(QStringLiteral("cache")));
    if (!m_busAddress.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    return env;
}

bool KeyringSession::startBus()
{
    // No standard service folders: only what a test put into ours is activatable.
    const QString config
        = QStringLiteral("<busconfig><type>session</type>"
                         "<listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
                         "<servicedir>%2</servicedir><policy context=\"default\">"
                         "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                         "<allow own=\"*\"/>"
                         "</policy></busconfig>")
              .arg(m_root.filePath(QStringLiteral("bus")),
                  m_root.filePath(QStringLiteral("services")));
    const QString configPath = m_root.filePath(QStringLiteral("bus.conf"));
    if (!m_root.isValid() || !writeFile(configPath, config.toUtf8()))
        return fail(QStringLiteral("cannot write the bus configuration"));
    m_bus.setProcessEnvironment(environment());
    m_bus.start(QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=%1").arg(configPath), QStringLiteral("--nofork"),
            QStringLiteral("--print-address")});
    (void)pollUntil([this] {
        m_bus.waitForReadyRead(20);
        return m_bus.canReadLine() || m_bus.state() == QProcess::NotRunning;
    });
    if (!m_bus.canReadLine())
        return fail(QStringLiteral("dbus-daemon printed no address: %1")
                        .arg(QString::fromUtf8(m_bus.readAllStandardError())));
    m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());

    GError *raw = nullptr;
    m_connection.reset(g_dbus_connection_new_for_address_sync(m_busAddress.toUtf8().constData(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
            | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &raw));
    const ErrorPtr error(raw);
    return m_connection
        || fail(QStringLiteral("cannot connect: %1").arg(QString::fromUtf8(error->message)));
}

bool KeyringSession::startKeyring()
{
    m_keyring.setProcessEnvironment(environment());
    m_keyring.setStandardOutputFile(QProcess::nullDevice());
    m_keyring.start(QStringLiteral("gnome-keyring-daemon"),
        {QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
            QStringLiteral("--foreground")});
    if (!m_keyring.waitForStarted(kStartupMs))
        return fail(QStringLiteral("gnome-keyring-daemon: %1").arg(m_keyring.errorString()));
    // It reads the login password up to end of input.
    m_keyring.write(kPassword);
    m_keyring.waitForBytesWritten(kStartupMs);
    m_keyring.closeWriteChannel();
    return waitUntilUnlocked();
}

bool KeyringSession::restartKeyring()
{
    stopKeyring();
    return startKeyring();
}

QByteArray KeyringSession::defaultCollectionPath()
{
    const VariantPtr reply = call(
        kServicePath, kServiceInterface, "ReadAlias", g_variant_new("(s)", "default"), "(o)");
    const gchar *path = "/";
    if (reply)
        g_variant_get(reply.get(), "(&o)", &path);
    return g_strcmp0(path, "/") == 0 ? QByteArray() : QByteArray(path);
}

bool KeyringSession::lockDefaultCollection()
{
    const QByteArray path = defaultCollectionPath();
    const gchar *objects[] = {path.constData(), nullptr};
    const VariantPtr reply = path.isEmpty()
        ? nullptr
        : call(kServicePath, kServiceInterface, "Lock", g_variant_new("(^ao)", objects), "(aoo)");
    const gchar *prompt = nullptr;
    if (reply)
        g_variant_get(reply.get(), "(@ao&o)", nullptr, &prompt);
    return g_strcmp0(prompt, "/") == 0 || fail(QStringLiteral("cannot lock: %1").arg(m_error));
}

QByteArray KeyringSession::plainSession()
{
    const VariantPtr reply = call(kServicePath, kServiceInterface, "OpenSession",
        g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
    const gchar *path = nullptr;
    if (reply)
        g_variant_get(reply.get(), "(v&o)", nullptr, &path);
    return QByteArray(path);
}

bool KeyringSession::isUnlocked()
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

bool KeyringSession::waitUntilUnlocked()
{
    const bool unlocked
        = pollUntil([this] { return m_keyring.state() == QProcess::NotRunning || isUnlocked(); });
    if (m_keyring.state() == QProcess::NotRunning)
        return fail(QStringLiteral("gnome-keyring-daemon exited: %1")
                        .arg(QString::fromUtf8(m_keyring.readAllStandardError())));
    return unlocked || fail(QStringLiteral("gnome-keyring stays locked: %1").arg(m_error));
}

bool KeyringSession::unlockDefaultCollection()
{
    const QByteArray path = defaultCollectionPath();
    const QByteArray session = plainSession();
    if (path.isEmpty() || session.isEmpty())
        return fail(QStringLiteral("cannot unlock: %1").arg(m_error));
    (void)call(kServicePath, "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
        "UnlockWithMasterPassword",
        g_variant_new(
            "(o@(oayays))", path.constData(), plainSecret(session.constData(), kPassword)),
        "()");
    return waitUntilUnlocked();
}

bool KeyringSession::removeDefaultAlias()
{
    (void)call(
        kServicePath, kServiceInterface, "SetAlias", g_variant_new("(so)", "default", "/"), "()");
    return defaultCollectionPath().isEmpty() || fail(QStringLiteral("the default alias stays"));
}

// Beside, not over, any item of the same attributes.
bool KeyringSession::addItem(const QByteArray &secret)
{
    const QByteArray path = defaultCollectionPath();
    const QByteArray session = plainSession();
    if (path.isEmpty() || session.isEmpty())
        return fail(QStringLiteral("cannot add an item: %1").arg(m_error));
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", "org.scrivlet.Scrivlet");
    g_variant_builder_add(&attributes, "{ss}", "account", "content-encryption-key");
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label",
        g_variant_new_string("stored by hand"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
        g_variant_builder_end(&attributes));
    return call(path.constData(), "org.freedesktop.Secret.Collection", "CreateItem",
               g_variant_new("(@a{sv}@(oayays)b)", g_variant_builder_end(&properties),
                   plainSecret(session.constData(), secret), FALSE),
               "(oo)")
        || fail(m_error);
}

bool KeyringSession::suspendKeyring()
{
    const qint64 pid = m_keyring.processId();
    if (pid <= 0 || ::kill(pid_t(pid), SIGSTOP) != 0)
        return fail(QStringLiteral("cannot stop gnome-keyring-daemon"));
    // Signals are delivered asynchronously; the test needs it silent already.
    return pollUntil([pid] { return processState(pid) == 'T'; })
        || fail(QStringLiteral("gnome-keyring-daemon did not stop"));
}

VariantPtr KeyringSession::call(const char *path, const char *interface, const char *method,
    GVariant *parameters, const char *replyType)
{
    GError *raw = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(m_connection.get(), "org.freedesktop.secrets",
        path, interface, method, parameters, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, &raw));
    const ErrorPtr error(raw);
    if (error)
        m_error = QStringLiteral("%1: %2").arg(
            QLatin1String(method), QString::fromUtf8(error->message));
    return reply;
}

void KeyringSession::stopKeyring()
{
    // A suspended daemon would not hear the request to end.
    if (m_keyring.state() != QProcess::NotRunning)
        ::kill(pid_t(m_keyring.processId()), SIGCONT);
    stop(m_keyring);
}

bool KeyringSession::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace scrivlet::testing
