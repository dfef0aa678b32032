// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/crypto/KeychainKey.h"
#include "core/shortcuts/GlobalShortcuts.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThread;

namespace scrivlet {

class AppSettings;
class ClipStore;
class ClipboardMonitor;
class ColorScheme;
class AppIconCache;
class DefaultsStore;
class DesktopEntries;
class Dialogs;
class HotkeyGrabber;
class HotkeyManager;
class KeyboardLayout;
class ImageStore;
class Keyring;
class KeySender;
class ModelContainer;
class PaletteController;
class Pasteboard;
class PointerButtons;
class SelectionMonitor;
class ThemeApplier;
class SettingsWindow;
class TrayIcon;
class Workspace;

// What the desktop lets Scrivlet do; everything on X11.
struct DesktopAbilities
{
    // Copies of other applications are seen; else why not, for the user.
    bool capture = true;
    QString captureUnavailable;
    // False where the desktop, not Scrivlet, binds the palette's key (a
    // Wayland desktop without the shortcuts portal): the user binds
    // `scrivlet toggle` in the desktop's keyboard settings.
    bool grabsShortcut = true;
    // The application in front is known, so exclusions apply.
    bool knowsFrontmostApplication = true;
    // What the desktop withholds from this Scrivlet and why, one English line
    // each, for `scrivlet capture status`; empty when nothing is.
    QStringList withheld;
    // X11: we place our windows and the workspace knows them by their ids.
    // False on Wayland, where the compositor does both.
    bool x11Windows = true;
    // Why copies are not seen, in English for `scrivlet capture status`.
    QString captureUnavailableStatus;
    // GNOME: Scrivlet's Shell extension is installed but turned off.
    bool shellExtensionDisabled = false;
};

// The desktop services Scrivlet works with, made by main() for the session.
struct PlatformServices
{
    Pasteboard &pasteboard;
    Workspace &workspace;
    KeySender &keys;
    Keyring &secretService;
    Keyring &keyFile;
    DesktopEntries &applications;
    HotkeyGrabber &hotkeys;
    KeyboardLayout &keyboardLayout;
    ColorScheme &colorScheme;
    Dialogs &dialogs;
    // The preferences, one store for the process.
    DefaultsStore &defaults;
    QString dataFolder;
    QString configFolder;
    // The interface language of this run, chosen before any window.
    Language language = Language::french;
    DesktopAbilities abilities = {};
    // Turns Scrivlet's GNOME Shell extension on; none elsewhere.
    std::function<void()> enableShellExtension = {};
    // The primary selection, none where it cannot be followed; the pointer's
    // buttons, none where the desktop does not say.
    Pasteboard *selection = nullptr;
    PointerButtons *pointerButtons = nullptr;
};

// Makes every long-lived object once, wires them together and to the
// user's settings, and keeps them for the life of the process.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(PlatformServices services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // False when Scrivlet cannot run at all (the history cannot be opened);
    // the user has been told why.
    [[nodiscard]] bool launch();

    // Asks, then empties the history.
    void clearHistory();
    void checkForUpdates();
    // Opens the palette, or says why it cannot open yet.
    void showPalette();
    // Opens the settings window (made on first use), or brings it to front.
    void showSettings();
    // Shows the palette, or hides it when it is shown.
    void togglePalette();
    void hidePalette();
    // A program about to quit hands its clipboard over: once the copy is
    // dealt with, says whether it was kept.
    void keepClipboard(const std::function<void(bool kept)> &reply);
    // For a start asked to show the palette: as soon as the history is open.
    void showPaletteWhenReady();
    // The desktop gave or took an ability (GNOME's Shell extension came or
    // went): followed without a restart.
    void abilitiesChanged(const DesktopAbilities &now);

    // None until the key is loaded.
    [[nodiscard]] ClipStore *store() const { return m_store.get(); }
    // Made by launch().
    [[nodiscard]] AppSettings &settings() const { return *m_settings; }
    [[nodiscard]] ClipboardMonitor *monitor() const { return m_monitor.get(); }

Q_SIGNALS:
    // The history is open and capture runs (or the key could not be had).
    void ready(bool recording);

private:
    [[nodiscard]] bool openContainer();
    void loadKey(Keyring::Prompt prompt);
    void keyLoaded(KeyLoad load);
    void keyringChanged();
    void startHotkey();
    void startRecording(SecretBytes key);
    void offerNewHistory(const QString &why);
    void applySettings();
    void followSelection();
    void sayPreferencesSetAside(const QString &path);
    void followHotkey();
    void showShortcutInTray();
    void offerShellExtension();
    void explainDesktopShortcut();

    PlatformServices m_services;
    std::unique_ptr<ThemeApplier> m_theme;
    std::unique_ptr<AppSettings> m_settings;
    std::unique_ptr<TrayIcon> m_tray;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<ImageStore> m_images;
    std::unique_ptr<ClipStore> m_store;
    std::unique_ptr<ClipboardMonitor> m_monitor;
    // Only while the user has selections recorded.
    std::unique_ptr<SelectionMonitor> m_selectionMonitor;
    std::unique_ptr<AppIconCache> m_icons;
    std::unique_ptr<PaletteController> m_palette;
    std::unique_ptr<GlobalShortcuts::ShortcutStore> m_shortcuts;
    std::unique_ptr<HotkeyManager> m_hotkey;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    QThread *m_keyThread = nullptr;
    bool m_saidNoKeystroke = false;
    // Why there is no key yet; empty while looking or once recording.
    QString m_keyProblem;
    bool m_keyringChangedMeanwhile = false;
    bool m_askingUser = false;
};

} // namespace scrivlet
