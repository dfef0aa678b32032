// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopSession.h"

#include "platform/linux/KGlobalAccelHotkeyGrabber.h"
#include "platform/linux/PortalHotkeyGrabber.h"
#include "platform/linux/PortalKeySender.h"
#include "platform/wayland/FakeInputKeySender.h"
#include "platform/wayland/PlasmaWorkspace.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandKeySender.h"
#include "platform/wayland/WaylandKeyboardLayout.h"
#include "platform/wayland/WaylandPasteboard.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "platform/x11/X11ClipboardManager.h"
#include "platform/x11/X11ClipboardReader.h"
#include "platform/x11/X11HotkeyGrabber.h"
#include "platform/x11/X11KeySender.h"
#include "platform/x11/X11KeyboardLayout.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QSaveFile>
#include <QtGui/qguiapplication_platform.h>

namespace scrivlet {

namespace {

// Where the desktop binds the palette's key itself: nothing to grab.
class DesktopBoundHotkeys : public HotkeyGrabber
{
public:
    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &) override { return false; }
    void ungrab(const GlobalShortcuts::Shortcut &) override { }
};

// The portal's restore token, kept beside the preferences, for the user only.
QString loadToken(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

void saveToken(const QString &path, const QString &token)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(token.toUtf8());
    file.commit();
}

// Plasma's own shortcut service, listed in its settings and with no consent
// to ask; elsewhere one would run without a compositor to take keys for it.
std::unique_ptr<HotkeyGrabber> makeWaylandHotkeys(const DisplayServerChoice &session, bool &grabs)
{
    grabs = true;
    if (session.isKde() && KGlobalAccelHotkeyGrabber::isOffered())
        return std::make_unique<KGlobalAccelHotkeyGrabber>();
    if (PortalHotkeyGrabber::isOffered())
        return std::make_unique<PortalHotkeyGrabber>();
    grabs = false;
    return std::make_unique<DesktopBoundHotkeys>();
}

QString tr(const char *text)
{
    // The context lupdate gives a tr() of this namespace.
    return QCoreApplication::translate("scrivlet::DesktopSession", text);
}

} // namespace

struct DesktopSession::X11
{
    X11ClipboardReader reader;
    X11Pasteboard pasteboard;
    X11Workspace workspace;
    X11KeySender keys;
    X11HotkeyGrabber hotkeys;
    X11KeyboardLayout keyboardLayout;
    std::unique_ptr<X11ClipboardManager> clipboardManager;

    X11(xcb_connection_t *connection, ClipboardLimits limits, DesktopEntries &applications)
        : reader(limits)
        , pasteboard(&reader)
        , workspace(connection, applications)
        , keys(connection)
        , hotkeys(connection)
        , keyboardLayout(connection)
    { }
};

struct DesktopSession::Wayland
{
    // Capture has its own connection and thread; the rest share this one.
    WaylandConnection connection;
    WaylandPasteboard pasteboard;
    WaylandKeyboardLayout keyboardLayout;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<KeySender> keys;
    std::unique_ptr<HotkeyGrabber> hotkeys;

    explicit Wayland(ClipboardLimits limits)
        : pasteboard(limits)
        , keyboardLayout(connection)
    { }
};

DesktopSession::DesktopSession(const DisplayServerChoice &session, ClipboardLimits limits,
    DesktopEntries &applications, QString configFolder)
    : m_configFolder(std::move(configFolder))
{
    if (session.server == DisplayServer::wayland)
        makeWayland(session, limits);
    else
        makeX11(limits, applications);
}

DesktopSession::~DesktopSession() = default;

void DesktopSession::makeX11(ClipboardLimits limits, DesktopEntries &applications)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    m_x11 = std::make_unique<X11>(x11 ? x11->connection() : nullptr, limits, applications);
}

void DesktopSession::makeWayland(const DisplayServerChoice &session, ClipboardLimits limits)
{
    m_wayland = std::make_unique<Wayland>(limits);
    Wayland &w = *m_wayland;

    KwinGrants grants;
    grants.executable = QCoreApplication::applicationFilePath();
    auto fakeInput = std::make_unique<FakeInputKeySender>(w.connection);
    auto virtualKeyboard = std::make_unique<WaylandKeySender>(w.connection);
    grants.fakeInput = fakeInput->isTrusted() || virtualKeyboard->isTrusted();
    if (fakeInput->isTrusted()) {
        w.keys = std::move(fakeInput);
    } else if (grants.fakeInput || !PortalKeySender::isOffered()) {
        w.keys = std::move(virtualKeyboard);
    } else {
        grants.portalKeys = true;
        const QString tokenPath = m_configFolder + QStringLiteral("/remote-desktop-token");
        auto portal
            = std::make_unique<PortalKeySender>([tokenPath] { return loadToken(tokenPath); },
                [tokenPath](const QString &token) { saveToken(tokenPath, token); });
        // Consent asked now, not at the first paste.
        portal->prepare();
        w.keys = std::move(portal);
    }

    w.hotkeys = makeWaylandHotkeys(session, m_abilities.grabsShortcut);

    m_abilities.capture = w.pasteboard.isCaptureAvailable();
    if (!m_abilities.capture) {
        m_abilities.captureUnavailable = session.isGnome()
            ? tr(
                "GNOME sur Wayland ne montre le presse-papiers à aucun programme en arrière-plan : "
                "Scrivlet n'enregistre pas les copies ici. Ouvrez une session « GNOME sur Xorg » "
                "pour qu'il les enregistre.")
            : tr("Ce bureau ne montre pas le presse-papiers aux programmes en arrière-plan : "
                 "Scrivlet n'enregistre pas les copies ici. Ouvrez une session X11 pour qu'il les "
                 "enregistre.");
    }
    if (auto plasma = std::make_unique<PlasmaWorkspace>(w.connection); plasma->isAvailable()) {
        w.workspace = std::move(plasma);
        m_abilities.knowsFrontmostApplication = true;
    } else {
        auto wlr = std::make_unique<WaylandWorkspace>(w.connection);
        m_abilities.knowsFrontmostApplication = wlr->isAvailable();
        w.workspace = std::move(wlr);
    }
    m_abilities.x11Windows = false;
    grants.windowManagement = m_abilities.knowsFrontmostApplication;
    if (session.isKde())
        m_abilities.withheld = withheldBy(grants);
}

Pasteboard &DesktopSession::pasteboard() const
{
    return m_x11 ? static_cast<Pasteboard &>(m_x11->pasteboard) : m_wayland->pasteboard;
}

Workspace &DesktopSession::workspace() const
{
    return m_x11 ? static_cast<Workspace &>(m_x11->workspace) : *m_wayland->workspace;
}

KeySender &DesktopSession::keys() const
{
    return m_x11 ? static_cast<KeySender &>(m_x11->keys) : *m_wayland->keys;
}

HotkeyGrabber &DesktopSession::hotkeys() const
{
    return m_x11 ? static_cast<HotkeyGrabber &>(m_x11->hotkeys) : *m_wayland->hotkeys;
}

KeyboardLayout &DesktopSession::keyboardLayout() const
{
    return m_x11 ? static_cast<KeyboardLayout &>(m_x11->keyboardLayout) : m_wayland->keyboardLayout;
}

QStringList DesktopSession::withheldBy(const KwinGrants &grants)
{
    // English: the command line speaks it.
    const QString why = QStringLiteral(
        "KWin gives it only to a Scrivlet whose installed desktop entry grants it "
        "(X-KDE-Wayland-Interfaces) and names this program in Exec=; this one runs from %1")
                            .arg(grants.executable);
    QStringList lines;
    if (!grants.fakeInput)
        lines << QStringLiteral("no paste keyboard: %1; %2")
                     .arg(why,
                         grants.portalKeys ? QStringLiteral("pasting asks the RemoteDesktop "
                                                            "portal's consent instead")
                                           : QStringLiteral("there is no automatic paste"));
    if (!grants.windowManagement)
        lines << QStringLiteral("no front window: %1; excluded applications are not excluded")
                     .arg(why);
    return lines;
}

void DesktopSession::keepClipboardsFor(AppDelegate &delegate)
{
    if (!m_x11)
        return;
    m_x11->clipboardManager = std::make_unique<X11ClipboardManager>(
        [&delegate](const X11ClipboardManager::Reply &reply) { delegate.keepClipboard(reply); });
}

} // namespace scrivlet
