// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppDelegate.h"
#include "DesktopSession.h"
#include "ProcessHardening.h"
#include "SingleInstance.h"
#include "Translations.h"
#include "app/cli/CommandHandler.h"
#include "app/cli/CommandLine.h"
#include "core/Paths.h"
#include "core/desktop/DesktopEntries.h"
#include "core/desktop/DisplayServer.h"
#include "core/settings/DefaultsStore.h"
#include "platform/linux/KeyFile.h"
#include "platform/linux/QtColorScheme.h"
#include "platform/linux/SecretServiceKeyring.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QTextStream>
#include <QThread>

using namespace scrivlet;

namespace {

// The caps of a clipboard read, in megabytes, for those who copy more.
ClipboardLimits clipboardLimits(const DefaultsStore &defaults)
{
    ClipboardLimits limits;
    const auto megabytes = [&defaults](const char *key, qint64 fallback) {
        const double stored = defaults.value(QLatin1String(key)).toDouble(-1);
        return stored >= 1 && stored <= 4096 ? qint64(stored) * 1024 * 1024 : fallback;
    };
    limits.maxImageBytes = megabytes("captureMaxImageMB", limits.maxImageBytes);
    limits.maxOtherBytes = megabytes("captureMaxTextMB", limits.maxOtherBytes);
    return limits;
}

// Another Scrivlet runs, or is starting: it shows its palette instead.
int handOver(QTextStream &out, QTextStream &err)
{
    CommandRequest show;
    show.command = CommandRequest::Command::show;
    SingleInstance::SendFailure failure;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (SingleInstance::send(show, &failure)) {
            out << QCoreApplication::translate("main", "Scrivlet est déjà lancé.") << Qt::endl;
            return 0;
        }
        QThread::msleep(100);
    }
    err << "scrivlet: another Scrivlet holds the lock but does not answer (" << failure.why << ")."
        << Qt::endl;
    return 1;
}

void nameApplication()
{
    QApplication::setApplicationName(QStringLiteral("Scrivlet"));
    QApplication::setApplicationVersion(QStringLiteral(SCRIVLET_VERSION));
    QApplication::setDesktopFileName(QLatin1String(paths::kApplicationId));
    QApplication::setQuitOnLastWindowClosed(false);
}

void connectCommands(const CommandHandler &commands, AppDelegate &delegate)
{
    QObject::connect(
        &commands, &CommandHandler::toggleRequested, &delegate, &AppDelegate::togglePalette);
    QObject::connect(
        &commands, &CommandHandler::showRequested, &delegate, &AppDelegate::showPalette);
    QObject::connect(
        &commands, &CommandHandler::hideRequested, &delegate, &AppDelegate::hidePalette);
    QObject::connect(
        &commands, &CommandHandler::settingsRequested, &delegate, &AppDelegate::showSettings);
}

} // namespace

int main(int argc, char *argv[])
{
    hardenProcess();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const CommandLine::Outcome outcome = CommandLine::run(argc, argv);
    if (outcome.exitStatus)
        return *outcome.exitStatus;
    const DisplayServerChoice display
        = chooseDisplayServer(QProcessEnvironment::systemEnvironment());
    if (display.server == DisplayServer::none) {
        err << "scrivlet: no display here (" << display.reason
            << "); start it inside your desktop session." << Qt::endl;
        return 1;
    }
    // Our windows go where our services speak; Xwayland if Qt lacks Wayland.
    qputenv("QT_QPA_PLATFORM", display.server == DisplayServer::wayland ? "wayland;xcb" : "xcb");

    QApplication app(argc, argv);
    nameApplication();
    quitOnTerminationSignals();
    // The one store of preferences; every reader and writer shares it.
    DefaultsStore defaults(paths::configFolder());
    const Language language = interfaceLanguage(defaults);
    const Translations translations(language);

    SingleInstance instance;
    if (!instance.claim())
        return handOver(out, err);

    DesktopEntries applications;
    DesktopSession desktop(display, clipboardLimits(defaults), applications, paths::configFolder());
    SecretServiceKeyring secretService;
    KeyFile keyFile(paths::configFolder());
    const std::unique_ptr<ColorScheme> colorScheme = makeDesktopColorScheme();
    QtDialogs dialogs;

    AppDelegate delegate({desktop.pasteboard(), desktop.workspace(), desktop.keys(), secretService,
        keyFile, applications, desktop.hotkeys(), desktop.keyboardLayout(), *colorScheme, dialogs,
        defaults, paths::dataFolder(), paths::configFolder(), language, desktop.abilities(),
        desktop.shellExtensionEnabler(), desktop.selection(), desktop.pointerButtons()});
    if (!delegate.launch())
        return 1;
    CommandHandler commands({[&delegate] { return delegate.store(); }, delegate.settings(),
        desktop.pasteboard(), desktop.workspace(), desktop.keys(), applications, defaults,
        [&desktop] {
            const DesktopAbilities now = desktop.abilities();
            return now.capture ? QString() : now.captureUnavailableStatus;
        },
        [&desktop] { return desktop.abilities().withheld; }});
    desktop.onAbilitiesChanged([&] { delegate.abilitiesChanged(desktop.abilities()); });
    connectCommands(commands, delegate);
    instance.setHandler(
        [&commands](const CommandRequest &request, const SingleInstance::Reply &reply) {
            commands.handle(request, reply);
        });
    // Programs that quit leave their clipboard with Scrivlet.
    desktop.keepClipboardsFor(delegate);
    if (outcome.showPalette)
        delegate.showPaletteWhenReady();
    if (outcome.showSettings)
        delegate.showSettings();
    return app.exec();
}
