// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellBridge.h"

#include "platform/linux/UniqueFd.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QDebug>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace {

// One entry of SetClipboard's a(say).
struct ShellFormat
{
    QString type;
    QByteArray data;
};

// One entry of SendKeys' a(ub).
struct ShellKey
{
    uint keysym = 0;
    bool pressed = false;
};

QDBusArgument &operator<<(QDBusArgument &argument, const ShellFormat &format)
{
    argument.beginStructure();
    argument << format.type << format.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ShellFormat &format)
{
    argument.beginStructure();
    argument >> format.type >> format.data;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ShellKey &key)
{
    argument.beginStructure();
    argument << key.keysym << key.pressed;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ShellKey &key)
{
    argument.beginStructure();
    argument >> key.keysym >> key.pressed;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(ShellFormat)
Q_DECLARE_METATYPE(ShellKey)

namespace scrivlet {

namespace {

const QString kShell = QStringLiteral("org.gnome.Shell");
const QString kShellPath = QStringLiteral("/org/gnome/Shell");
const QString kExtensions = QStringLiteral("org.gnome.Shell.Extensions");
const QString kPath = QStringLiteral("/org/scrivlet/Scrivlet/Shell");
const QString kInterface = QStringLiteral("org.scrivlet.Scrivlet.Shell");
const QString kOwnName = QStringLiteral("org.scrivlet.Scrivlet");
constexpr int kCallTimeoutMs = 3000;
// The extension is exported a moment after the Shell reports it active.
constexpr int kAttachRetries = 10;
constexpr int kAttachRetryMs = 300;

QString lastError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

ShellBridge::ShellBridge(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    qDBusRegisterMetaType<ShellFormat>();
    qDBusRegisterMetaType<QList<ShellFormat>>();
    qDBusRegisterMetaType<ShellKey>();
    qDBusRegisterMetaType<QList<ShellKey>>();
}

ShellBridge::~ShellBridge() = default;

bool ShellBridge::start()
{
    if (m_started)
        return true;
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claimed
        = m_bus.interface()->registerService(kOwnName, QDBusConnectionInterface::DontQueueService,
            QDBusConnectionInterface::DontAllowReplacement);
    if (!claimed.isValid() || claimed.value() != QDBusConnectionInterface::ServiceRegistered)
        return false;
    m_started = true;

    auto *watcher
        = new QDBusServiceWatcher(kShell, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        &ShellBridge::onShellOwnerChanged);
    // With the service named, QtDBus takes these only from its owner.
    m_bus.connect(kShell, kShellPath, kExtensions, QStringLiteral("ExtensionStateChanged"), this,
        SLOT(onExtensionStateChanged(QString, QVariantMap)));
    m_bus.connect(kShell, kPath, kInterface, QStringLiteral("SelectionChanged"), this,
        SLOT(onSelectionChanged(uint, QStringList, QString, QString)));
    m_bus.connect(kShell, kPath, kInterface, QStringLiteral("FocusChanged"), this,
        SLOT(onFocusChanged(qulonglong, QString, QString)));
    m_bus.connect(kShell, kPath, kInterface, QStringLiteral("ShortcutActivated"), this,
        SLOT(onShortcutActivated()));

    if (!m_bus.interface()->isServiceRegistered(kShell).value()) {
        setExtension(Extension::noShell);
        return true;
    }
    // Asked once, waiting: `capture status` reports it right after start.
    const QDBusMessage info = m_bus.call(QDBusMessage::createMethodCall(kShell, kShellPath,
                                             kExtensions, QStringLiteral("GetExtensionInfo"))
            << QString::fromLatin1(kUuid),
        QDBus::Block, kCallTimeoutMs);
    setExtension(info.type() == QDBusMessage::ReplyMessage && !info.arguments().isEmpty()
            ? extensionFrom(qdbus_cast<QVariantMap>(info.arguments().constFirst()))
            : Extension::noShell);
    attach();
    return true;
}

ShellBridge::Extension ShellBridge::extensionFrom(const QVariantMap &info)
{
    if (info.isEmpty())
        return Extension::missing;
    switch (int(info.value(QStringLiteral("state")).toDouble())) {
    case 1:
        return Extension::active;
    case 3:
    case 4:
        return Extension::broken;
    case 99: // uninstalled while the Shell runs
        return Extension::missing;
    default:
        return Extension::disabled;
    }
}

QString ShellBridge::why() const
{
    if (m_attached)
        return {};
    if (!m_started)
        return QStringLiteral("another process owns %1 on the session bus").arg(kOwnName);
    const QString extension = QStringLiteral("the GNOME Shell extension %1").arg(kUuid);
    switch (m_extension) {
    case Extension::noShell:
        return QStringLiteral("GNOME Shell is not running on this session bus");
    case Extension::missing:
        return extension + QStringLiteral(" is not installed");
    case Extension::disabled:
        return extension + QStringLiteral(" is not enabled");
    case Extension::broken:
        return extension + QStringLiteral(" failed to start in GNOME Shell");
    case Extension::active:
        break;
    }
    return m_attachError.isEmpty() ? extension + QStringLiteral(" has not answered yet")
                                   : m_attachError;
}

void ShellBridge::enableExtension()
{
    // The outcome comes back as ExtensionStateChanged.
    m_bus.asyncCall(QDBusMessage::createMethodCall(
                        kShell, kShellPath, kExtensions, QStringLiteral("EnableExtension"))
        << QString::fromLatin1(kUuid));
}

void ShellBridge::attach()
{
    if (m_attaching)
        return;
    m_attaching = true;
    const QDBusPendingCall call = m_bus.asyncCall(
        QDBusMessage::createMethodCall(kShell, kPath, kInterface, QStringLiteral("Attach")),
        kCallTimeoutMs);
    auto *watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &ShellBridge::onAttached);
}

void ShellBridge::onAttached(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    m_attaching = false;
    const QDBusPendingReply<QString, uint> reply = *watcher;
    if (reply.isError()) {
        m_attachError = QStringLiteral("the GNOME Shell extension did not answer: %1")
                            .arg(reply.error().message());
        // Not exported yet: ExtensionStateChanged brings us back, but the
        // Shell may name it active a moment before it answers.
        if (m_extension == Extension::active && m_attachRetries++ < kAttachRetries)
            QTimer::singleShot(kAttachRetryMs, this, [this] {
                if (!m_attached && m_extension == Extension::active)
                    attach();
            });
        return;
    }
    if (reply.argumentAt<0>() != QLatin1String(kUuid) || reply.argumentAt<1>() != kVersion) {
        m_attachError
            = QStringLiteral("the GNOME Shell extension is %1 version %2; this Scrivlet needs %3 "
                             "version %4")
                  .arg(reply.argumentAt<0>())
                  .arg(reply.argumentAt<1>())
                  .arg(kUuid)
                  .arg(kVersion);
        qWarning().noquote() << QStringLiteral("Scrivlet: ") + m_attachError;
        detach();
        return;
    }
    m_attachError.clear();
    m_attachRetries = 0;
    m_attached = true;
    fetchState();
    Q_EMIT attachedChanged(true);
}

void ShellBridge::fetchState()
{
    const quint64 selectionAsked = ++m_selectionGeneration;
    auto *selection = new QDBusPendingCallWatcher(
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(kShell, kPath, kInterface, QStringLiteral("Selection")),
            kCallTimeoutMs),
        this);
    connect(selection, &QDBusPendingCallWatcher::finished, this,
        [this, selectionAsked](QDBusPendingCallWatcher *watcher) {
            watcher->deleteLater();
            const QDBusPendingReply<uint, QStringList, QString, QString> reply = *watcher;
            // A SelectionChanged that came first is newer than this answer.
            if (reply.isError() || !m_attached || selectionAsked != m_selectionGeneration)
                return;
            m_selection = {reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>(),
                reply.argumentAt<3>(), false};
            Q_EMIT selectionChanged();
        });
    const quint64 focusAsked = ++m_focusGeneration;
    auto *focus = new QDBusPendingCallWatcher(
        m_bus.asyncCall(QDBusMessage::createMethodCall(
                            kShell, kPath, kInterface, QStringLiteral("FocusedWindow")),
            kCallTimeoutMs),
        this);
    connect(focus, &QDBusPendingCallWatcher::finished, this,
        [this, focusAsked](QDBusPendingCallWatcher *watcher) {
            watcher->deleteLater();
            const QDBusPendingReply<qulonglong, QString, QString> reply = *watcher;
            if (reply.isError() || !m_attached || focusAsked != m_focusGeneration)
                return;
            setFocused(reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>());
        });
}

void ShellBridge::detach()
{
    ++m_selectionGeneration;
    ++m_focusGeneration;
    m_focused.reset();
    if (!std::exchange(m_attached, false))
        return;
    Q_EMIT focusChanged();
    Q_EMIT attachedChanged(false);
}

void ShellBridge::setExtension(Extension extension)
{
    m_extension = extension;
    Q_EMIT extensionChanged();
}

void ShellBridge::onShellOwnerChanged(const QString &, const QString &, const QString &newOwner)
{
    detach();
    m_selection = {};
    if (newOwner.isEmpty()) {
        setExtension(Extension::noShell);
        return;
    }
    // A Shell that just started loads its extensions later; each one that
    // comes up says so with ExtensionStateChanged.
    setExtension(Extension::missing);
    m_attachRetries = 0;
    attach();
}

void ShellBridge::onExtensionStateChanged(const QString &uuid, const QVariantMap &info)
{
    if (uuid != QLatin1String(kUuid))
        return;
    const Extension extension = extensionFrom(info);
    if (extension != Extension::active)
        detach();
    setExtension(extension);
    // A re-enabled extension forgets who attached: ask again even when
    // attached, should the disabling have gone unseen.
    if (extension == Extension::active) {
        m_attachRetries = 0;
        attach();
    }
}

void ShellBridge::onSelectionChanged(
    uint serial, const QStringList &types, const QString &app, const QString &origin)
{
    if (!m_attached)
        return;
    ++m_selectionGeneration;
    m_selection = {serial, types, app, origin, true};
    Q_EMIT selectionChanged();
}

void ShellBridge::onFocusChanged(qulonglong id, const QString &app, const QString &wmClass)
{
    if (!m_attached)
        return;
    // Answers to a FocusedWindow asked before are older than this.
    ++m_focusGeneration;
    setFocused(id, app, wmClass);
}

void ShellBridge::setFocused(quint64 id, const QString &app, const QString &wmClass)
{
    if (id == 0)
        m_focused.reset();
    else
        m_focused
            = WindowRef {id, app.isEmpty() ? std::nullopt : std::optional<QString>(app), wmClass};
    Q_EMIT focusChanged();
}

void ShellBridge::onShortcutActivated()
{
    if (m_attached)
        Q_EMIT shortcutActivated();
}

QDBusMessage ShellBridge::call(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message = QDBusMessage::createMethodCall(kShell, kPath, kInterface, method);
    message.setArguments(arguments);
    return m_bus.call(message, QDBus::Block, kCallTimeoutMs);
}

std::optional<QByteArray> ShellBridge::read(
    quint32 serial, const QString &type, qint64 cap, int deadlineMs, QString *why) const
{
    const auto fail = [why](const QString &reason) -> std::optional<QByteArray> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    if (!(m_bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return fail(QStringLiteral("the session bus passes no file descriptors"));
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(QStringLiteral("no pipe: %1").arg(lastError()));
    const UniqueFd readEnd(ends[0]);
    QDBusPendingCall reply = [&] {
        const UniqueFd writeEnd(ends[1]);
        QDBusMessage message
            = QDBusMessage::createMethodCall(kShell, kPath, kInterface, QStringLiteral("Read"));
        message << serial << type << QVariant::fromValue(QDBusUnixFileDescriptor(writeEnd.get()));
        // No limit of its own: the transfer is bounded chunk by chunk below.
        return m_bus.asyncCall(message, std::numeric_limits<int>::max());
    }();

    // QtDBus keeps a copy of the message, our write end with it, until the
    // call is gone: the pipe never ends here, and the answer, sent once the
    // extension has written everything and closed its end, says the copy
    // is whole.
    QByteArray bytes;
    QDeadlineTimer deadline(deadlineMs);
    bool answered = false;
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(readEnd.get(), chunk, sizeof chunk);
        if (n > 0) {
            if (bytes.size() + n > cap)
                return fail(
                    QStringLiteral("the clipboard holds more than the %1 bytes allowed").arg(cap));
            bytes.append(chunk, n);
            deadline.setRemainingTime(deadlineMs);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return fail(QStringLiteral("the copy could not be read: %1").arg(lastError()));
        // Emptied after the answer came: nothing more can follow.
        if (n == 0 || answered)
            break;
        // QtDBus completes calls on a thread of its own: no event loop needed.
        if (reply.isFinished()) {
            answered = true;
            continue;
        }
        if (deadline.hasExpired())
            return fail(QStringLiteral("the clipboard's owner did not answer within %1 ms")
                            .arg(deadlineMs));
        pollfd pipe {readEnd.get(), POLLIN, 0};
        // Woken by data; the answer is looked for between waits.
        ::poll(&pipe, 1, int(std::min<qint64>(deadline.remainingTime(), 10)));
    }
    if (!answered) {
        // The pipe ended first (QtDBus let its copy go): the answer is on its way.
        const QDeadlineTimer answer(deadlineMs);
        while (!reply.isFinished() && !answer.hasExpired())
            QThread::msleep(2);
        if (!reply.isFinished())
            return fail(QStringLiteral("the GNOME Shell extension did not confirm the copy"));
    }
    if (reply.isError())
        return fail(QStringLiteral("the GNOME Shell extension could not read it: %1")
                        .arg(reply.error().message()));
    return bytes;
}

void ShellBridge::setClipboard(const QList<std::pair<QString, QByteArray>> &formats)
{
    if (!m_attached)
        return;
    QList<ShellFormat> list;
    list.reserve(formats.size());
    for (const auto &[type, data] : formats)
        list.append({type, data});
    const QDBusMessage reply = call(QStringLiteral("SetClipboard"), {QVariant::fromValue(list)});
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning().noquote() << QStringLiteral("Scrivlet: the clipboard was not set: ")
                + reply.errorMessage();
}

bool ShellBridge::activateWindow(quint64 id)
{
    if (!m_attached)
        return false;
    // Its answer comes within a second; whoever waits for the window asks
    // the focus itself.
    QDBusMessage message = QDBusMessage::createMethodCall(
        kShell, kPath, kInterface, QStringLiteral("ActivateWindow"));
    message << qulonglong(id);
    m_bus.asyncCall(message, kCallTimeoutMs);
    return true;
}

bool ShellBridge::sendKeys(const QList<std::pair<quint32, bool>> &keysymsPressed)
{
    if (!m_attached)
        return false;
    QList<ShellKey> keys;
    keys.reserve(keysymsPressed.size());
    for (const auto &[keysym, pressed] : keysymsPressed)
        keys.append({keysym, pressed});
    const QDBusMessage reply = call(QStringLiteral("SendKeys"), {QVariant::fromValue(keys)});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().constFirst().toBool();
}

bool ShellBridge::bindShortcut(const QString &accelerator)
{
    if (!m_attached)
        return false;
    const QDBusMessage reply = call(QStringLiteral("BindShortcut"), {accelerator});
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().constFirst().toBool();
}

} // namespace scrivlet
