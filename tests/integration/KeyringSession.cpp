// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyringSession.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <signal.h>

namespace scrivlet::testing {
namespace {

constexpr const char *kSecretsName = "org.freedesktop.secrets";
constexpr const char *kServicePath = "/org/freedesktop/secrets";
constexpr const char *kServiceInterface = "org.freedesktop.Secret.Service";
constexpr const char *kPropertiesInterface = "org.freedesktop.DBus.Properties";
constexpr const char *kCollectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char *kPassword = "scrivlet-test-password";
constexpr const char *kInternalInterface
    = "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface";
// Generous: a loaded CI machine may be slow to start daemons.
constexpr int kStartupMs = 20000;
constexpr int kPollMs = 20;
constexpr int kCallTimeoutMs = 5000;
constexpr int kStopMs = 5000;

const char *const kFolders[] = {"home", "runtime", "data", "config", "cache", "services"};

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// The state letter in /proc/<pid>/stat; the command name may hold spaces.
char processState(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

} // namespace

void KeyringSession::ConnectionClose::operator()(GDBusConnection *connection) const
{
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
}

KeyringSession::KeyringSession()
{
    QDir root(m_root.path());
    for (const char *folder : kFolders)
        root.mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

KeyringSession::~KeyringSession()
{
    m_connection.reset();
    stopKeyring();
    stopBus();
}

bool KeyringSession::addActivatableName(const QString &name)
{
    const QString service = QStringLiteral("[D-BUS Service]\nName=%1\nExec=/bin/false\n").arg(name);
    if (!writeFile(
            m_root.filePath(QStringLiteral("services/%1.service").arg(name)), service.toUtf8()))
        return fail(QStringLiteral("cannot write the service file for %1").arg(name));
    return true;
}

QProcessEnvironment KeyringSession::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QStringList inherited = env.keys();
    for (const QString &key : inherited) {
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
    if (!m_root.isValid())
        return fail(QStringLiteral("no temporary folder: %1").arg(m_root.errorString()));
    // No standard service folders: only what a test put into ours is activatable.
    const QString config = QString::fromLatin1(R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                               .arg(m_root.filePath(QStringLiteral("bus")),
                                   m_root.filePath(QStringLiteral("services")));
    const QString configPath = m_root.filePath(QStringLiteral("bus.conf"));
    if (!writeFile(configPath, config.toUtf8()))
        return fail(QStringLiteral("cannot write the bus configuration"));

    m_bus.setProgram(QStringLiteral("dbus-daemon"));
    m_bus.setArguments({QStringLiteral("--config-file=%1").arg(configPath),
        QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    m_bus.setProcessEnvironment(environment());
    m_bus.start();
    if (!m_bus.waitForStarted(kStartupMs))
        return fail(QStringLiteral("dbus-daemon did not start: %1").arg(m_bus.errorString()));
    const QDeadlineTimer deadline(kStartupMs);
    while (!m_bus.canReadLine()) {
        if (m_bus.state() == QProcess::NotRunning || deadline.hasExpired())
            return fail(QStringLiteral("dbus-daemon printed no address: %1")
                            .arg(QString::fromUtf8(m_bus.readAllStandardError())));
        m_bus.waitForReadyRead(kPollMs);
    }
    m_busAddress = QString::fromUtf8(m_bus.readLine().trimmed());

    GError *raw = nullptr;
    GDBusConnection *connection
        = g_dbus_connection_new_for_address_sync(m_busAddress.toUtf8().constData(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &raw);
    if (connection == nullptr) {
        const QString message = QString::fromUtf8(raw->message);
        g_error_free(raw);
        return fail(QStringLiteral("cannot connect to the private bus: %1").arg(message));
    }
    m_connection.reset(connection);
    return true;
}

bool KeyringSession::startKeyring()
{
    if (!m_connection)
        return fail(QStringLiteral("the bus is not running"));
    m_keyring.setProgram(QStringLiteral("gnome-keyring-daemon"));
    m_keyring.setArguments({QStringLiteral("--unlock"), QStringLiteral("--components=secrets"),
        QStringLiteral("--foreground")});
    m_keyring.setProcessEnvironment(environment());
    m_keyring.setStandardOutputFile(QProcess::nullDevice());
    m_keyring.start();
    if (!m_keyring.waitForStarted(kStartupMs))
        return fail(
            QStringLiteral("gnome-keyring-daemon did not start: %1").arg(m_keyring.errorString()));
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

bool KeyringSession::waitUntilUnlocked()
{
    const QDeadlineTimer deadline(kStartupMs);
    QString problem;
    for (;;) {
        if (m_keyring.state() == QProcess::NotRunning)
            return fail(QStringLiteral("gnome-keyring-daemon exited: %1")
                            .arg(QString::fromUtf8(m_keyring.readAllStandardError())));
        const QString path = defaultCollectionPath(&problem);
        if (!path.isEmpty()) {
            const VariantPtr reply = callService(path.toUtf8().constData(), kPropertiesInterface,
                "Get", g_variant_new("(ss)", kCollectionInterface, "Locked"), "(v)", &problem);
            if (reply) {
                gboolean locked = TRUE;
                const VariantPtr boxed(g_variant_get_child_value(reply.get(), 0));
                const VariantPtr value(g_variant_get_variant(boxed.get()));
                if (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN))
                    locked = g_variant_get_boolean(value.get());
                if (locked == FALSE)
                    return true;
                problem = QStringLiteral("the default collection is still locked");
            }
        }
        if (deadline.hasExpired())
            return fail(QStringLiteral("gnome-keyring did not get ready: %1").arg(problem));
        QThread::msleep(kPollMs);
    }
}

QString KeyringSession::defaultCollectionPath(QString *problem)
{
    const VariantPtr reply = callService(kServicePath, kServiceInterface, "ReadAlias",
        g_variant_new("(s)", "default"), "(o)", problem);
    if (!reply)
        return {};
    const gchar *path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    if (g_strcmp0(path, "/") == 0) {
        *problem = QStringLiteral("there is no default collection");
        return {};
    }
    return QString::fromUtf8(path);
}

bool KeyringSession::lockDefaultCollection()
{
    QString problem;
    const QByteArray path = defaultCollectionPath(&problem).toUtf8();
    if (path.isEmpty())
        return fail(problem);
    const gchar *objects[] = {path.constData(), nullptr};
    const VariantPtr reply = callService(kServicePath, kServiceInterface, "Lock",
        g_variant_new("(^ao)", objects), "(aoo)", &problem);
    if (!reply)
        return fail(QStringLiteral("Lock failed: %1").arg(problem));
    const gchar *prompt = nullptr;
    g_variant_get(reply.get(), "(@ao&o)", nullptr, &prompt);
    if (g_strcmp0(prompt, "/") != 0)
        return fail(QStringLiteral("Lock wants a prompt"));
    return true;
}

QString KeyringSession::plainSession(QString *problem)
{
    const VariantPtr reply = callService(kServicePath, kServiceInterface, "OpenSession",
        g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)", problem);
    if (!reply)
        return {};
    const gchar *path = nullptr;
    g_variant_get(reply.get(), "(v&o)", nullptr, &path);
    return QString::fromUtf8(path);
}

GVariant *KeyringSession::secretFor(const QString &session, const QByteArray &secret) const
{
    return g_variant_new("(o@ay@ays)", session.toUtf8().constData(),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, secret.constData(), gsize(secret.size()), 1),
        "application/octet-stream");
}

bool KeyringSession::unlockDefaultCollection()
{
    QString problem;
    const QByteArray path = defaultCollectionPath(&problem).toUtf8();
    const QString session = path.isEmpty() ? QString() : plainSession(&problem);
    if (session.isEmpty())
        return fail(problem);
    const VariantPtr reply
        = callService(kServicePath, kInternalInterface, "UnlockWithMasterPassword",
            g_variant_new("(o@(oayays))", path.constData(), secretFor(session, kPassword)), "()",
            &problem);
    if (!reply)
        return fail(QStringLiteral("UnlockWithMasterPassword failed: %1").arg(problem));
    return waitUntilUnlocked();
}

bool KeyringSession::addItem(
    const QString &service, const QString &account, const QByteArray &secret)
{
    QString problem;
    const QByteArray path = defaultCollectionPath(&problem).toUtf8();
    const QString session = path.isEmpty() ? QString() : plainSession(&problem);
    if (session.isEmpty())
        return fail(problem);
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", service.toUtf8().constData());
    g_variant_builder_add(&attributes, "{ss}", "account", account.toUtf8().constData());
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label",
        g_variant_new_string("stray item"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
        g_variant_builder_end(&attributes));
    const VariantPtr reply = callService(path.constData(), kCollectionInterface, "CreateItem",
        g_variant_new("(@a{sv}@(oayays)b)", g_variant_builder_end(&properties),
            secretFor(session, secret), FALSE),
        "(oo)", &problem);
    if (!reply)
        return fail(QStringLiteral("CreateItem failed: %1").arg(problem));
    return true;
}

bool KeyringSession::removeDefaultAlias()
{
    QString problem;
    const VariantPtr reply = callService(kServicePath, kServiceInterface, "SetAlias",
        g_variant_new("(so)", "default", "/"), "()", &problem);
    if (!reply)
        return fail(QStringLiteral("SetAlias failed: %1").arg(problem));
    if (!defaultCollectionPath(&problem).isEmpty())
        return fail(QStringLiteral("the default alias is still set"));
    return true;
}

bool KeyringSession::suspendKeyring()
{
    const qint64 pid = m_keyring.processId();
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), SIGSTOP) != 0)
        return fail(QStringLiteral("cannot stop gnome-keyring-daemon"));
    m_suspended = true;
    // Signals are delivered asynchronously; the test needs it silent already.
    const QDeadlineTimer deadline(kStartupMs);
    while (processState(pid) != 'T') {
        if (deadline.hasExpired())
            return fail(QStringLiteral("gnome-keyring-daemon did not stop"));
        QThread::msleep(kPollMs);
    }
    return true;
}

KeyringSession::VariantPtr KeyringSession::callService(const char *path, const char *interface,
    const char *method, GVariant *parameters, const char *replyType, QString *problem)
{
    GError *raw = nullptr;
    GVariant *reply = g_dbus_connection_call_sync(m_connection.get(), kSecretsName, path, interface,
        method, parameters, G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START,
        kCallTimeoutMs, nullptr, &raw);
    if (reply == nullptr) {
        *problem = QString::fromUtf8(raw->message);
        g_error_free(raw);
    }
    return VariantPtr(reply);
}

void KeyringSession::stopKeyring()
{
    if (m_keyring.state() == QProcess::NotRunning)
        return;
    if (m_suspended)
        ::kill(static_cast<pid_t>(m_keyring.processId()), SIGCONT);
    m_suspended = false;
    m_keyring.terminate();
    if (!m_keyring.waitForFinished(kStopMs)) {
        m_keyring.kill();
        m_keyring.waitForFinished(kStopMs);
    }
}

void KeyringSession::stopBus()
{
    if (m_bus.state() == QProcess::NotRunning)
        return;
    m_bus.terminate();
    if (!m_bus.waitForFinished(kStopMs)) {
        m_bus.kill();
        m_bus.waitForFinished(kStopMs);
    }
}

bool KeyringSession::fail(const QString &message)
{
    m_error = message;
    return false;
}

} // namespace scrivlet::testing
