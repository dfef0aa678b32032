// SPDX-License-Identifier: GPL-3.0-or-later
// Follows the desktop's colour scheme as Scrivlet does and prints one line
// at start and one at every change:
//   <qt|portal> <dark|light|none> <looks-dark|looks-light> <accent #rrggbb>
#include "core/settings/Appearance.h"
#include "platform/linux/QtColorScheme.h"
#include "ui/ThemeApplier.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTextStream>

using namespace scrivlet;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const std::unique_ptr<ColorScheme> scheme = makeDesktopColorScheme();
    ThemeApplier theme(*scheme);
    theme.apply(AppAppearance::system);

    QTextStream out(stdout);
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const bool fromQt = dynamic_cast<QtColorScheme *>(scheme.get()) != nullptr;
#else
    const bool fromQt = false;
#endif
    const auto report = [&] {
        const std::optional<bool> dark = scheme->prefersDark();
        const QPalette palette = QApplication::palette();
        const QColor accent
            = ThemeApplier::accentColor(AccentChoice::by(QStringLiteral("system")), palette);
        out << (fromQt ? "qt " : "portal ")
            << (!dark          ? "none "
                       : *dark ? "dark "
                               : "light ")
            << (palette.color(QPalette::Window).lightness() < 128 ? "looks-dark " : "looks-light ")
            << "accent " << accent.name() << Qt::endl;
    };
    // The platform theme asked the bus for its signals before this call: once
    // it returns, a change sent after our first line reaches them.
    (void)QDBusConnection::sessionBus().interface()->serviceOwner(
        QStringLiteral("org.freedesktop.DBus"));
    report();
    QObject::connect(scheme.get(), &ColorScheme::changed, &app, report);
    return QApplication::exec();
}
