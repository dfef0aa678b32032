// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopSession.h"

#include "platform/gnome/GnomeHotkeyGrabber.h"
#include "platform/gnome/GnomeKeySender.h"
#include "platform/gnome/GnomePasteboard.h"
#include "platform/gnome/GnomeWorkspace.h"
#include "platform/gnome/ShellBridge.h"
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
#include "platform/x11/X11PointerButtons.h"
#include "platform/x11/X11Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTimer>
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

// Where a desktop's services come and go: the first while `usesFirst` says
// so, else the second, which may be none.
class EitherKeys : public KeySender
{
public:
    EitherKeys(
        KeySender &first, std::function<KeySender *()> second, std::function<bool()> usesFirst)
        : m_first(first)
        , m_second(std::move(second))
        , m_usesFirst(std::move(usesFirst))
    { }
    [[nodiscard]] bool isTrusted() override
    {
        KeySender *keys = current();
        return keys && keys->isTrusted();
    }
    [[nodiscard]] bool sendPaste(PasteKey key) override
    {
        KeySender *keys = current();
        return keys && keys->sendPaste(key);
    }

private:
    KeySender *current() { return m_usesFirst() ? &m_first : m_second(); }
    KeySender &m_first;
    std::function<KeySender *()> m_second;
    std::function<bool()> m_usesFirst;
};

class EitherWorkspace : public Workspace
{
public:
    EitherWorkspace(Workspace &first, Workspace &second, std::function<bool()> usesFirst)
        : m_first(first)
        , m_second(second)
        , m_usesFirst(std::move(usesFirst))
    { }
    [[nodiscard]] std::optional<WindowRef> activeWindow() override
    {
        return current().activeWindow();
    }
    void activate(quint64 window) override { current().activate(window); }
    [[nodiscard]] std::optional<QString> frontmostApplicationId() override
    {
        return current().frontmostApplicationId();
    }

private:
    Workspace &current() { return m_usesFirst() ? m_first : m_second; }
    Workspace &m_first;
    Workspace &m_second;
    std::function<bool()> m_usesFirst;
};

// Copies are seen only through the extension; without it a write still
// goes through the toolkit, which the Shell takes while we have the focus.
class EitherPasteboard : public Pasteboard
{
public:
    EitherPasteboard(Pasteboard &first, Pasteboard &second, std::function<bool()> usesFirst)
        : m_first(first)
        , m_second(second)
        , m_usesFirst(std::move(usesFirst))
    {
        m_first.onChange([this] { announceChange(); });
    }
    [[nodiscard]] qint64 changeCount() const override { return m_first.changeCount(); }
    [[nodiscard]] bool announcesChanges() const override { return m_first.announcesChanges(); }
    void read(ReadScope scope, ReadHandler handler) override
    {
        m_first.read(scope, std::move(handler));
    }
    void write(const Representations &representations) override
    {
        (m_usesFirst() ? m_first : m_second).write(representations);
    }

private:
    Pasteboard &m_first;
    Pasteboard &m_second;
    std::function<bool()> m_usesFirst;
};

// The palette's key held by whichever grabber serves now, and taken over by
// the other when that changes. Until one is chosen the key is kept for it.
class SwitchingHotkeys : public HotkeyGrabber
{
public:
    explicit SwitchingHotkeys(std::function<HotkeyGrabber *()> choose)
        : m_choose(std::move(choose))
    { }
    [[nodiscard]] bool grab(const GlobalShortcuts::Shortcut &shortcut) override
    {
        m_held = shortcut;
        return !m_current || m_current->grab(shortcut);
    }
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override
    {
        if (m_held && *m_held == shortcut)
            m_held.reset();
        if (m_current)
            m_current->ungrab(shortcut);
    }
    [[nodiscard]] bool isAvailable(const GlobalShortcuts::Shortcut &shortcut) override
    {
        return !m_current || m_current->isAvailable(shortcut);
    }
    [[nodiscard]] QString triggerDescription() const override
    {
        return m_current ? m_current->triggerDescription() : QString();
    }
    // Asks again which grabber serves.
    void refresh()
    {
        HotkeyGrabber *next = m_choose();
        if (next == m_current)
            return;
        if (m_current) {
            if (m_held)
                m_current->ungrab(*m_held);
            disconnect(m_current, nullptr, this, nullptr);
        }
        m_current = next;
        if (!m_current)
            return;
        connect(m_current, &HotkeyGrabber::pressed, this, &HotkeyGrabber::pressed);
        connect(m_current, &HotkeyGrabber::released, this, &HotkeyGrabber::released);
        connect(m_current, &HotkeyGrabber::triggerChanged, this, &HotkeyGrabber::triggerChanged);
        if (m_held)
            (void)m_current->grab(*m_held);
        Q_EMIT triggerChanged();
    }

private:
    std::function<HotkeyGrabber *()> m_choose;
    HotkeyGrabber *m_current = nullptr;
    std::optional<GlobalShortcuts::Shortcut> m_held;
};

// How long the start waits for the Shell extension to answer.
constexpr int kGnomeSettleMs = 2000;

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
    X11ClipboardReader selectionReader;
    X11Pasteboard selection;
    X11PointerButtons buttons;
    X11Workspace workspace;
    X11KeySender keys;
    X11HotkeyGrabber hotkeys;
    X11KeyboardLayout keyboardLayout;
    std::unique_ptr<X11ClipboardManager> clipboardManager;

    X11(xcb_connection_t *connection, ClipboardLimits limits, DesktopEntries &applications)
        : reader(limits)
        , pasteboard(&reader)
        , selectionReader(limits, X11Selection::primary)
        , selection(&selectionReader, X11Selection::primary)
        , buttons(connection)
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

// GNOME: the Shell extension's services while it answers. The portals stand
// in only where there is no extension to wait for, since each asks the
// user's consent.
struct DesktopSession::Gnome
{
    ShellBridge bridge;
    GnomePasteboard pasteboard;
    GnomeWorkspace workspace;
    GnomeKeySender keys;
    GnomeHotkeyGrabber hotkeys;
    std::unique_ptr<PortalKeySender> portalKeys;
    std::unique_ptr<HotkeyGrabber> portalHotkeys;
    std::unique_ptr<EitherPasteboard> eitherPasteboard;
    std::unique_ptr<EitherWorkspace> eitherWorkspace;
    std::unique_ptr<EitherKeys> eitherKeys;
    std::unique_ptr<SwitchingHotkeys> eitherHotkeys;

    explicit Gnome(ClipboardLimits limits)
        : pasteboard(bridge, limits)
        , workspace(bridge)
        , keys(bridge)
        , hotkeys(bridge)
    { }

    // The extension is not coming: none installed, or it cannot start.
    [[nodiscard]] bool noExtension() const
    {
        const ShellBridge::Extension state = bridge.extension();
        return !bridge.isAttached()
            && (state == ShellBridge::Extension::missing
                || state == ShellBridge::Extension::broken);
    }
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
    if (session.isGnome()) {
        w.workspace = std::make_unique<WaylandWorkspace>(w.connection);
        w.keys = std::make_unique<WaylandKeySender>(w.connection);
        w.hotkeys = std::make_unique<DesktopBoundHotkeys>();
        makeGnome(limits);
        return;
    }

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
        m_abilities.captureUnavailable
            = tr("Ce bureau ne montre pas le presse-papiers aux programmes en arrière-plan : "
                 "Scrivlet n'enregistre pas les copies ici. Ouvrez une session X11 pour qu'il les "
                 "enregistre.");
        m_abilities.captureUnavailableStatus = QStringLiteral(
            "this desktop does not show the clipboard to background programs (use an X11 "
            "session)");
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

void DesktopSession::makeGnome(ClipboardLimits limits)
{
    m_gnome = std::make_unique<Gnome>(limits);
    Gnome &g = *m_gnome;
    Wayland &w = *m_wayland;
    const auto attached = [&g] { return g.bridge.isAttached(); };
    g.eitherPasteboard = std::make_unique<EitherPasteboard>(g.pasteboard, w.pasteboard, attached);
    g.eitherWorkspace = std::make_unique<EitherWorkspace>(g.workspace, *w.workspace, attached);
    g.eitherKeys = std::make_unique<EitherKeys>(
        g.keys, [&g] { return g.portalKeys.get(); }, attached);
    g.eitherHotkeys = std::make_unique<SwitchingHotkeys>([&g]() -> HotkeyGrabber * {
        if (g.bridge.isAttached())
            return &g.hotkeys;
        return g.noExtension() ? g.portalHotkeys.get() : nullptr;
    });
    QObject::connect(&g.bridge, &ShellBridge::attachedChanged, [this] { gnomeChanged(); });
    QObject::connect(&g.bridge, &ShellBridge::extensionChanged, [this] { gnomeChanged(); });
    m_abilities.x11Windows = false;
    if (g.bridge.start()) {
        // Told before the first copy and the first notice: whether the
        // extension answers, or why not.
        QEventLoop loop;
        QTimer::singleShot(kGnomeSettleMs, &loop, &QEventLoop::quit);
        const auto settled = [&g] {
            const ShellBridge::Extension state = g.bridge.extension();
            return g.bridge.isAttached()
                || (state != ShellBridge::Extension::active
                    && state != ShellBridge::Extension::noShell);
        };
        const auto quitWhenSettled = [&settled, &loop] {
            if (settled())
                loop.quit();
        };
        QObject::connect(&g.bridge, &ShellBridge::attachedChanged, &loop, quitWhenSettled);
        QObject::connect(&g.bridge, &ShellBridge::extensionChanged, &loop, quitWhenSettled);
        if (!settled())
            loop.exec();
    }
    gnomeChanged();
}

void DesktopSession::gnomeChanged()
{
    Gnome &g = *m_gnome;
    if (g.noExtension() && !g.portalKeys && PortalKeySender::isOffered()) {
        const QString tokenPath = m_configFolder + QStringLiteral("/remote-desktop-token");
        g.portalKeys
            = std::make_unique<PortalKeySender>([tokenPath] { return loadToken(tokenPath); },
                [tokenPath](const QString &token) { saveToken(tokenPath, token); });
        g.portalKeys->prepare();
    }
    if (g.noExtension() && !g.portalHotkeys && PortalHotkeyGrabber::isOffered())
        g.portalHotkeys = std::make_unique<PortalHotkeyGrabber>();
    g.eitherHotkeys->refresh();
    if (m_changed)
        m_changed();
}

DesktopAbilities DesktopSession::abilities() const
{
    if (!m_gnome)
        return m_abilities;
    const Gnome &g = *m_gnome;
    DesktopAbilities now = m_abilities;
    const bool attached = g.bridge.isAttached();
    now.capture = attached;
    now.knowsFrontmostApplication = attached;
    now.grabsShortcut = attached || !g.noExtension() || g.portalHotkeys;
    now.shellExtensionDisabled = g.bridge.extension() == ShellBridge::Extension::disabled;
    if (attached)
        return now;
    now.captureUnavailableStatus = QStringLiteral(
        "GNOME Shell shows the clipboard only to Scrivlet's Shell extension, and %1")
                                       .arg(g.bridge.why());
    switch (g.bridge.extension()) {
    case ShellBridge::Extension::missing:
        now.captureUnavailable
            = tr("GNOME ne montre le presse-papiers qu'à l'extension GNOME Shell de Scrivlet, "
                 "qui n'est pas installée. Installez Scrivlet depuis le paquet de votre "
                 "distribution, puis rouvrez votre session.");
        now.captureUnavailableStatus
            += QStringLiteral(" (Scrivlet's package installs it; then log out and in again)");
        break;
    case ShellBridge::Extension::disabled:
        now.captureUnavailable
            = tr("GNOME ne montre le presse-papiers qu'à l'extension GNOME Shell de Scrivlet, "
                 "qui est désactivée. Activez « Scrivlet » dans l'application Extensions.");
        now.captureUnavailableStatus += QStringLiteral(" (gnome-extensions enable %1)")
                                            .arg(QString::fromLatin1(ShellBridge::kUuid));
        break;
    default:
        now.captureUnavailable
            = tr("GNOME ne montre le presse-papiers qu'à l'extension GNOME Shell de Scrivlet, "
                 "qui ne répond pas. Le journal de GNOME Shell dit pourquoi.");
        break;
    }
    return now;
}

void DesktopSession::onAbilitiesChanged(std::function<void()> changed)
{
    m_changed = std::move(changed);
}

std::function<void()> DesktopSession::shellExtensionEnabler() const
{
    if (!m_gnome)
        return {};
    return [this] { m_gnome->bridge.enableExtension(); };
}

Pasteboard &DesktopSession::pasteboard() const
{
    if (m_gnome)
        return *m_gnome->eitherPasteboard;
    return m_x11 ? static_cast<Pasteboard &>(m_x11->pasteboard) : m_wayland->pasteboard;
}

Pasteboard *DesktopSession::selection() const
{
    // GNOME's Shell extension offers the clipboard alone.
    if (m_gnome)
        return nullptr;
    if (m_x11)
        return &m_x11->selection;
    return m_wayland->pasteboard.isCaptureAvailable() ? &m_wayland->pasteboard.selection()
                                                      : nullptr;
}

PointerButtons *DesktopSession::pointerButtons() const
{
    // Data control does not tell: time alone settles a selection there.
    return m_x11 ? &m_x11->buttons : nullptr;
}

Workspace &DesktopSession::workspace() const
{
    if (m_gnome)
        return *m_gnome->eitherWorkspace;
    return m_x11 ? static_cast<Workspace &>(m_x11->workspace) : *m_wayland->workspace;
}

KeySender &DesktopSession::keys() const
{
    if (m_gnome)
        return *m_gnome->eitherKeys;
    return m_x11 ? static_cast<KeySender &>(m_x11->keys) : *m_wayland->keys;
}

HotkeyGrabber &DesktopSession::hotkeys() const
{
    if (m_gnome)
        return *m_gnome->eitherHotkeys;
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
