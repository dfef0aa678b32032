// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppDelegate.h"

#include "HotkeyManager.h"
#include "core/capture/ClipboardMonitor.h"
#include "core/capture/SelectionMonitor.h"
#include "core/crypto/Crypto.h"
#include "core/history/ClipStore.h"
#include "core/history/HistoryFolder.h"
#include "core/history/ImageStore.h"
#include "core/history/ModelContainer.h"
#include "core/services/KeySender.h"
#include "core/services/KeyboardLayout.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "ui/AppIconCache.h"
#include "ui/Dialogs.h"
#include "ui/Paster.h"
#include "ui/ThemeApplier.h"
#include "ui/TrayIcon.h"
#include "ui/palette/PaletteController.h"
#include "ui/settings/SettingsWindow.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <utility>

namespace scrivlet {

AppDelegate::AppDelegate(PlatformServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{ }

AppDelegate::~AppDelegate()
{
    m_services.secretService.watch({});
    if (m_keyThread && !m_keyThread->wait(3000)) {
        // Still waiting on an unlock prompt that refers to our services: end
        // here rather than free what it uses. Everything saved is on disk.
        std::_Exit(0);
    }
}

bool AppDelegate::launch()
{
    // There is no updater to start on Linux: the distribution updates
    // Scrivlet, and checkForUpdates says so.
    m_theme = std::make_unique<ThemeApplier>(m_services.colorScheme);
    m_settings = std::make_unique<AppSettings>(
        m_services.defaults, [this](AppAppearance appearance) { m_theme->apply(appearance); });
    m_theme->apply(appAppearanceOrSystem(m_settings->appearance()));

    m_tray = std::make_unique<TrayIcon>(*m_settings);
    connect(m_tray.get(), &TrayIcon::openRequested, this, &AppDelegate::showPalette);
    connect(m_tray.get(), &TrayIcon::clearRequested, this, &AppDelegate::clearHistory);
    connect(m_tray.get(), &TrayIcon::settingsRequested, this, &AppDelegate::showSettings);
    connect(m_tray.get(), &TrayIcon::updatesRequested, this, &AppDelegate::checkForUpdates);
    if (!m_services.defaults.setAsidePath().isEmpty())
        sayPreferencesSetAside(m_services.defaults.setAsidePath());
    connect(
        &m_services.defaults, &DefaultsStore::setAside, this, &AppDelegate::sayPreferencesSetAside);
    // Both serve the settings window too, which may open before the key.
    m_shortcuts = std::make_unique<GlobalShortcuts::ShortcutStore>(m_services.defaults);
    m_shortcuts->declare(GlobalShortcuts::Name::togglePalette());
    showShortcutInTray(); // in this run's language and layout, from the start
    m_icons = std::make_unique<AppIconCache>(m_services.applications);
    connect(m_tray.get(), &TrayIcon::quitRequested, qApp, &QCoreApplication::quit);

    // The history is opened before the key: it remembers which key it needs.
    if (!openContainer())
        return false;
    startHotkey();
    // Followed from the start: a keyring unlocked later, or a service that
    // starts later, brings the key without a restart.
    m_services.secretService.watch([self = QPointer<AppDelegate>(this)] {
        if (self)
            QMetaObject::invokeMethod(self, &AppDelegate::keyringChanged, Qt::QueuedConnection);
    });
    loadKey(Keyring::Prompt::allowed);
    // Once the tray is up, not in the middle of starting.
    QMetaObject::invokeMethod(this, &AppDelegate::offerShellExtension, Qt::QueuedConnection);
    return true;
}

void AppDelegate::abilitiesChanged(const DesktopAbilities &now)
{
    const bool lost = m_services.abilities.capture && !now.capture;
    m_services.abilities = now;
    if (lost && m_tray)
        m_tray->notify(tr("Scrivlet ne voit plus les copies"), now.captureUnavailable);
    offerShellExtension();
}

void AppDelegate::offerShellExtension()
{
    const QString asked = QStringLiteral("shellExtensionOffered");
    if (!m_services.abilities.shellExtensionDisabled || !m_services.enableShellExtension
        || m_services.defaults.value(asked).toBool())
        return;
    // Asked once: a user who said no turns it on in GNOME's Extensions.
    m_services.defaults.setValue(asked, true);
    if (m_services.dialogs.confirm(tr("Activer l'extension GNOME Shell de Scrivlet ?"),
            tr("Sur GNOME, Scrivlet ne voit les copies, ne colle et n'ouvre sa palette qu'au "
               "moyen de son extension de GNOME Shell, qui est installée mais désactivée. Vous "
               "pourrez la désactiver dans l'application Extensions."),
            tr("Activer"), tr("Non merci")))
        m_services.enableShellExtension();
}

bool AppDelegate::openContainer()
{
    ModelContainer::OpenError why {};
    auto opened = ModelContainer::open(m_services.dataFolder, &why);
    if (!opened) {
        m_services.dialogs.critical(tr("L'historique de Scrivlet ne peut pas être ouvert."),
            tr("%1\n\nLe fichier est laissé tel quel. Scrivlet va se fermer.").arg(why.message));
        return false;
    }
    m_container = std::move(opened).value();
    return true;
}

void AppDelegate::loadKey(Keyring::Prompt prompt)
{
    const Result<KeyRecord> record = KeychainKey::readRecord(*m_container);
    if (!record) {
        keyLoaded({KeyLoad::Outcome::historyUnreadable, std::nullopt, std::nullopt,
            tr("L'historique ne peut pas être lu (%1).").arg(record.error())});
        return;
    }
    if (m_keyProblem.isEmpty())
        m_tray->setStatus(tr("En attente du trousseau : rien n'est enregistré pour l'instant."));
    // An unlock prompt waits for a person: never on the main thread.
    auto load = std::make_shared<KeyLoad>();
    m_keyThread
        = QThread::create([load, prompt, record = record.value(),
                              &keyring = m_services.secretService, &keyFile = m_services.keyFile] {
              *load = KeychainKey::loadOrCreate(record, keyring, keyFile, prompt);
          });
    m_keyThread->setParent(this); // freed with the delegate if the loop ends first
    connect(m_keyThread, &QThread::finished, this, [this, load] {
        m_keyThread->deleteLater();
        m_keyThread = nullptr;
        // The keyring may have changed after this lookup looked.
        if (std::exchange(m_keyringChangedMeanwhile, false) && !load->key) {
            loadKey(Keyring::Prompt::never);
            return;
        }
        keyLoaded(std::move(*load));
    });
    m_keyThread->start();
}

void AppDelegate::keyLoaded(KeyLoad load)
{
    load = KeychainKey::remember(*m_container, std::move(load));
    if (load.key) {
        startRecording(std::move(*load.key));
        return;
    }
    // Looked up again after an announcement, the same answer is no news.
    const bool news = load.message != m_keyProblem;
    m_keyProblem = load.message;
    m_tray->setStatus(load.message);
    if (news)
        m_tray->notify(tr("Scrivlet n'enregistre rien"), load.message);
    Q_EMIT ready(false);
    if (news
        && (load.outcome == KeyLoad::Outcome::keyLost
            || load.outcome == KeyLoad::Outcome::keyMismatch))
        offerNewHistory(load.message);
}

void AppDelegate::keyringChanged()
{
    if (m_store || !m_container)
        return;
    if (m_keyThread || m_askingUser) {
        m_keyringChangedMeanwhile = true;
        return;
    }
    // Never a prompt here: the user has answered the first one already.
    loadKey(Keyring::Prompt::never);
}

void AppDelegate::offerNewHistory(const QString &why)
{
    m_askingUser = true;
    const bool accepted = m_services.dialogs.confirm(why,
        tr("Commencer un nouvel historique ? L'ancien est mis de côté dans le dossier de "
           "Scrivlet, sans rien effacer."),
        tr("Nouvel historique"), tr("Plus tard"));
    m_askingUser = false;
    if (!accepted) {
        if (std::exchange(m_keyringChangedMeanwhile, false))
            loadKey(Keyring::Prompt::never);
        return;
    }
    m_keyringChangedMeanwhile = false; // the new history's lookup comes after it
    m_container.reset(); // closed first, so its journal is folded into the file
    const Result<QString> aside = setAsideHistory(m_services.dataFolder);
    if (!aside) {
        m_services.dialogs.critical(
            tr("L'ancien historique n'a pas pu être mis de côté."), aside.error());
        QCoreApplication::exit(1);
        return;
    }
    if (!openContainer()) {
        QCoreApplication::exit(1);
        return;
    }
    m_keyProblem.clear();
    loadKey(Keyring::Prompt::allowed);
}

void AppDelegate::startRecording(SecretBytes key)
{
    Crypto::setShared(Crypto(std::move(key)));
    m_images = std::make_unique<ImageStore>(
        ImageStore(m_services.dataFolder + QStringLiteral("/images"), Crypto::shared()));
    m_store = std::make_unique<ClipStore>(m_container->mainContext(), *m_images);
    // Takes the clipboard's counter now: what is already there is never recorded.
    m_monitor = std::make_unique<ClipboardMonitor>(*m_store, m_services.pasteboard,
        m_services.workspace, [settings = m_settings.get()](const std::optional<QString> &app) {
            return settings->captureEnabled() && !(app && settings->excludedApps().contains(*app));
        });
    // The clipboard outlives the program that copied: what was recorded from
    // it is offered again, with the formats a paste offers.
    connect(m_monitor.get(), &ClipboardMonitor::ownerLeft, this, [this](const ClipItemPtr &item) {
        Paster::writeItem(*item, false, *m_images, m_services.pasteboard);
    });
    m_palette = std::make_unique<PaletteController>(
        PaletteController::Services {*m_store, *m_images, *m_settings, m_services.defaults,
            m_services.pasteboard, m_services.workspace, m_services.keys, m_services.applications,
            *m_icons, m_services.abilities.x11Windows, &m_services.keyboardLayout});
    connect(m_palette.get(), &PaletteController::pasteKeystrokeUnavailable, this, [this] {
        // Said once a run: every later paste would say the same.
        if (std::exchange(m_saidNoKeystroke, true))
            return;
        m_tray->notify(tr("Collage automatique indisponible"),
            tr("L'entrée est dans le presse-papiers : collez-la avec Ctrl+V."));
    });
    applySettings(); // before the first capture
    connect(m_settings.get(), &AppSettings::changed, this, &AppDelegate::applySettings);

    if (!m_services.keys.isTrusted())
        m_tray->notify(tr("Collage automatique indisponible"),
            tr("Scrivlet ne peut pas envoyer Ctrl+V dans cette session : l'entrée choisie reste "
               "dans le presse-papiers, à coller vous-même."));
    if (!m_services.abilities.capture)
        m_tray->notify(
            tr("Scrivlet ne voit pas les copies ici"), m_services.abilities.captureUnavailable);
    m_monitor->start();
    m_keyProblem.clear();
    m_tray->setStatus(QString());
    // The search index is built a page at a time between events, once
    // start-up is over: the first search finds it ready, and no copy or
    // keystroke waits for the whole history to be read.
    constexpr int kIndexDelayMs = 2000;
    auto *indexing = new QTimer(this);
    indexing->setInterval(0);
    connect(indexing, &QTimer::timeout, this, [this, indexing, store = m_store.get()] {
        if (m_store.get() == store && !store->prepareSearchStep())
            return;
        indexing->stop();
        indexing->deleteLater();
    });
    QTimer::singleShot(kIndexDelayMs, indexing, qOverload<>(&QTimer::start));
    // Then too the palette is made, hidden: the hotkey's first press shows it
    // as fast as the next.
    QTimer::singleShot(kIndexDelayMs, this, [this, store = m_store.get()] {
        if (m_palette && m_store.get() == store)
            m_palette->prepare();
    });
    Q_EMIT ready(true);
}

void AppDelegate::startHotkey()
{
    // Whatever the keyring does: until the key comes, the key says why the
    // palette cannot open yet.
    m_hotkey = std::make_unique<HotkeyManager>(
        *m_shortcuts, m_services.hotkeys, [this] { togglePalette(); });
    followHotkey();
    if (m_services.abilities.grabsShortcut)
        m_hotkey->start();
    else
        explainDesktopShortcut();
    showShortcutInTray();
    connect(m_shortcuts.get(), &GlobalShortcuts::ShortcutStore::shortcutChanged, this,
        [this](const QString &name) {
            if (name == GlobalShortcuts::Name::togglePalette().rawValue)
                showShortcutInTray();
        });
}

void AppDelegate::followHotkey()
{
    // A shortcut another program held may be free by now: the palette and
    // the focus moving are moments when programs let keys go.
    connect(qApp, &QGuiApplication::focusWindowChanged, m_hotkey.get(), &HotkeyManager::retry);
    connect(m_hotkey.get(), &HotkeyManager::refusedChanged, this, [this](bool refused) {
        if (m_settingsWindow)
            m_settingsWindow->setShortcutActive(!refused);
    });
}

void AppDelegate::showShortcutInTray()
{
    const auto shortcut = m_shortcuts->shortcut(GlobalShortcuts::Name::togglePalette().rawValue);
    KeyboardLayout &layout = m_services.keyboardLayout;
    m_tray->setOpenShortcutText(shortcut
            ? shortcut->displayText(m_services.language,
                [&layout](GlobalShortcuts::Key key) { return layout.character(key); })
            : QString());
}

void AppDelegate::applySettings()
{
    if (!m_store)
        return;
    // Only limits the user has, or defaults for keys never written, prune:
    // not a fallback for a value that could not be read, nor a hand-edited
    // zero or less, which would prune everything unpinned.
    const auto limitOrNone
        = [](qint64 value, bool known) { return known && value > 0 ? value : ClipStore::kNoLimit; };
    m_store->maxItems = limitOrNone(m_settings->historyLimit(), m_settings->historyLimitIsKnown());
    m_store->retentionDays
        = limitOrNone(m_settings->retentionDays(), m_settings->retentionDaysIsKnown());
    m_store->enforceLimits();
    followSelection();
}

void AppDelegate::followSelection()
{
    const bool wanted = m_settings->recordSelection() && m_services.selection;
    if (!wanted) {
        // Gone at once: a selection settling now is not recorded.
        m_selectionMonitor.reset();
        return;
    }
    if (m_selectionMonitor)
        return;
    // Takes the selection's counter now: what is selected already is not recorded.
    m_selectionMonitor = std::make_unique<SelectionMonitor>(*m_store, *m_services.selection,
        m_services.workspace, m_services.pointerButtons,
        [settings = m_settings.get()](const std::optional<QString> &app) {
            return settings->captureEnabled() && !(app && settings->excludedApps().contains(*app));
        });
    m_selectionMonitor->start();
}

void AppDelegate::sayPreferencesSetAside(const QString &path)
{
    m_tray->notify(tr("Réglages illisibles mis de côté"),
        tr("Le fichier des réglages ne pouvait pas être lu ; il est gardé tel quel dans %1. "
           "Rien n'est effacé de l'historique tant que ses limites ne sont pas connues : "
           "choisissez-les dans les réglages.")
            .arg(path));
}

void AppDelegate::showPalette()
{
    if (m_palette) {
        m_palette->show();
        return;
    }
    // Asked while the key is being read at start: open once it is there.
    if (m_keyThread && m_keyProblem.isEmpty()) {
        showPaletteWhenReady();
        return;
    }
    m_tray->notify(tr("L'historique n'est pas encore ouvert"),
        m_keyProblem.isEmpty()
            ? tr("Scrivlet attend encore la clé de l'historique : rien n'est enregistré pour "
                 "l'instant.")
            : m_keyProblem);
}

void AppDelegate::clearHistory()
{
    if (!m_store)
        return;
    if (m_services.dialogs.confirm(tr("Vider tout l'historique ?"),
            tr("Cette action est irréversible."), tr("Vider"), tr("Annuler")))
        m_store->clearAll();
}

void AppDelegate::togglePalette()
{
    if (m_palette)
        m_palette->toggle();
    else
        showPalette();
}

void AppDelegate::hidePalette()
{
    if (m_palette)
        m_palette->hide();
}

void AppDelegate::keepClipboard(const std::function<void(bool kept)> &reply)
{
    if (!m_monitor) {
        reply(false);
        return;
    }
    m_monitor->keepCurrentCopy(reply);
}

void AppDelegate::showPaletteWhenReady()
{
    if (m_palette) {
        m_palette->show();
        return;
    }
    // A key that never comes has already been explained to the user.
    connect(
        this, &AppDelegate::ready, this,
        [this](bool recording) {
            if (recording)
                m_palette->show();
        },
        Qt::SingleShotConnection);
}

void AppDelegate::showSettings()
{
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindow>(
            SettingsWindow::Services {*m_settings, *m_shortcuts, m_services.hotkeys,
                m_services.keyboardLayout, m_services.keys, m_services.dialogs,
                m_services.applications, *m_icons, m_services.abilities.grabsShortcut,
                m_services.abilities.knowsFrontmostApplication},
            m_services.language, [this] { clearHistory(); });
    }
    if (m_hotkey)
        m_settingsWindow->setShortcutActive(!m_hotkey->isRefused());
    m_settingsWindow->present();
}

void AppDelegate::explainDesktopShortcut()
{
    // Said once: the desktop's own settings keep the binding from then on.
    const QString key = QStringLiteral("desktopShortcutExplained");
    if (m_services.defaults.value(key).toBool(false))
        return;
    m_services.defaults.setValue(key, true);
    m_tray->notify(tr("Raccourci de la palette"),
        tr("Ce bureau ne laisse pas Scrivlet prendre un raccourci : associez la commande "
           "« scrivlet toggle » à Maj+Super+V dans les réglages clavier du bureau."));
}

void AppDelegate::checkForUpdates()
{
    m_services.dialogs.inform(tr("Scrivlet %1 est installé.").arg(QStringLiteral(SCRIVLET_VERSION)),
        tr("Les mises à jour de Scrivlet arrivent avec les paquets de votre distribution : "
           "installez-les avec son gestionnaire de mises à jour."));
}

} // namespace scrivlet
