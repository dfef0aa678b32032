// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/desktop/DesktopEntries.h"
#include "core/desktop/LaunchAtLogin.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

void writeEntry(const QString &path, const QByteArray &body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(body);
}

TEST(DesktopEntries, WindowClassesFindTheirApplications)
{
    QTemporaryDir home;
    QTemporaryDir system;
    const QString user = home.path() + QStringLiteral("/applications");
    const QString shared = system.path() + QStringLiteral("/applications");
    writeEntry(shared + QStringLiteral("/org.gnome.TextEditor.desktop"),
        "[Desktop Entry]\nType=Application\nName=Text Editor\nIcon=org.gnome.TextEditor\n"
        "StartupWMClass=gnome-text-editor\n");
    writeEntry(shared + QStringLiteral("/firefox-esr.desktop"),
        "[Desktop Entry]\nType=Application\nName=Firefox ESR\nName[fr]=Firefox\n");
    writeEntry(shared + QStringLiteral("/kde4/kate.desktop"),
        "[Desktop Entry]\nType=Application\nName=Kate\n");
    writeEntry(shared + QStringLiteral("/org.keepassxc.KeePassXC.desktop"),
        "[Desktop Entry]\nType=Application\nName=KeePassXC\n");
    writeEntry(
        shared + QStringLiteral("/link.desktop"), "[Desktop Entry]\nType=Link\nName=Not an app\n");
    // The user's own entry of the same id takes precedence.
    writeEntry(user + QStringLiteral("/firefox-esr.desktop"),
        "[Desktop Entry]\nType=Application\nName=My Firefox\n[Desktop Action new]\nName=Other\n");

    DesktopEntries entries({user, shared});
    // (window class, instance, application id or none)
    const std::tuple<const char *, const char *, const char *> cases[]
        = {{"gnome-text-editor", "", "org.gnome.TextEditor"},
            {"Firefox-esr", "Navigator", "firefox-esr"}, {"kate", "", ""},
            {"Kde4-kate", "", "kde4-kate"}, {"KeePassXC", "keepassxc", "org.keepassxc.KeePassXC"},
            {"link", "", ""}, {"Unknown", "", ""}};
    for (const auto &[windowClass, instance, expected] : cases) {
        const auto id = entries.idForWindowClass(
            QString::fromLatin1(windowClass), QString::fromLatin1(instance));
        EXPECT_EQ(id.value_or(QString()), QString::fromLatin1(expected)) << windowClass;
    }
    EXPECT_EQ(entries.byId(QStringLiteral("firefox-esr"))->name, QStringLiteral("My Firefox"));

    // An application installed later is found, even within one tick of the folder time.
    writeEntry(user + QStringLiteral("/org.example.New.desktop"),
        "[Desktop Entry]\nType=Application\nName=New\n");
    EXPECT_TRUE(entries.byId(QStringLiteral("org.example.New")).has_value());
}

TEST(LaunchAtLogin, TheAutostartEntryComesAndGoes)
{
    QTemporaryDir config;
    const QString path = config.path() + QStringLiteral("/autostart/org.scrivlet.Scrivlet.desktop");
    EXPECT_FALSE(LaunchAtLogin::isEnabled(path));
    LaunchAtLogin::set(true, QStringLiteral("/opt/my apps/scrivlet"), path);
    EXPECT_TRUE(LaunchAtLogin::isEnabled(path));

    writeEntry(path, "[Desktop Entry]\nType=Application\nExec=scrivlet\nHidden=true\n");
    EXPECT_FALSE(LaunchAtLogin::isEnabled(path)) << "a hidden entry is off";
    LaunchAtLogin::set(false, QString(), path);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(LaunchAtLogin, ExecHoldsAnyPathAsTheDesktopEntryRulesWantIt)
{
    const std::pair<const char *, const char *> cases[] = {
        {"/opt/my apps/scrivlet", R"(Exec="/opt/my apps/scrivlet")"},
        {"/opt/100% sure/scrivlet", R"(Exec="/opt/100%% sure/scrivlet")"},
        {R"(/opt/back\slash/scrivlet)", R"(Exec="/opt/back\\\\slash/scrivlet")"},
        {R"(/opt/$HOME "q" `x`/scrivlet)", R"(Exec="/opt/\\$HOME \\"q\\" \\`x\\`/scrivlet")"},
    };
    const bool validator
        = !QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate")).isEmpty();
    for (const auto &[program, exec] : cases) {
        QTemporaryDir config;
        const QString path = config.path() + QStringLiteral("/org.scrivlet.Scrivlet.desktop");
        LaunchAtLogin::set(true, QString::fromUtf8(program), path);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().contains(QByteArray(exec) + '\n')) << program;
        if (!validator)
            continue;
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {path});
        ASSERT_TRUE(validate.waitForFinished(10000));
        EXPECT_EQ(validate.exitCode(), 0)
            << program << ": " << validate.readAllStandardOutput().toStdString();
    }
}

TEST(LaunchAtLogin, AFailureLogsOneLine)
{
    QTemporaryDir config;
    const QString blocker = config.path() + QStringLiteral("/autostart");
    writeEntry(blocker, "a file where the folder should be");
    QStringList logged;
    static QStringList *sink = nullptr;
    sink = &logged;
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
              sink->append(message);
          });
    LaunchAtLogin::set(true, QStringLiteral("scrivlet"),
        blocker + QStringLiteral("/org.scrivlet.Scrivlet.desktop"));
    qInstallMessageHandler(previous);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.at(0).startsWith(QStringLiteral("LaunchAtLogin: ")))
        << logged.at(0).toStdString();
}

} // namespace
} // namespace scrivlet
