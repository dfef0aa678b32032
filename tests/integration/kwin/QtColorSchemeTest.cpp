// SPDX-License-Identifier: GPL-3.0-or-later
// The colour scheme Scrivlet follows under KWin, with the Qt of the build and
// no KDE platform plugin: Qt's own KDE theme reads kdeglobals only when the
// session says which Plasma it is; otherwise the portal answers.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kSettings = QStringLiteral("org.freedesktop.portal.Settings");
// The selection colours of Scrivlet's light and dark palettes; the first is
// also the accent of Qt's generic theme.
const QString kLightHighlight = QStringLiteral("#308cc6");
const QString kDarkHighlight = QStringLiteral("#2f7dd1");

// A probe with its own configuration folder holding kdeglobals.
class Probe
{
public:
    Probe(const QString &colorScheme, bool plasmaSession)
    {
        writeColorScheme(colorScheme);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        if (plasmaSession)
            env.insert(QStringLiteral("KDE_SESSION_VERSION"), QStringLiteral("6"));
        else
            env.remove(QStringLiteral("KDE_SESSION_VERSION"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(PROBE), {});
    }
    ~Probe()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    void writeColorScheme(const QString &name)
    {
        QFile file(m_config.filePath(QStringLiteral("kdeglobals")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nColorScheme=" + name.toUtf8() + '\n');
    }

    // The probe's next report; empty once it has ended.
    QString nextLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(-1))
                return {};
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }

private:
    QTemporaryDir m_config;
    QProcess m_process;
};

// What the desktop portal of this session says, as the probe would read it.
QString portalScheme()
{
    QDBusMessage read
        = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"),
            kPortalPath, kSettings, QStringLiteral("Read"));
    read << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(read);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return QStringLiteral("none");
    QVariant value = reply.arguments().constFirst();
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    switch (value.toUInt()) {
    case 1:
        return QStringLiteral("dark");
    case 2:
        return QStringLiteral("light");
    default:
        return QStringLiteral("none");
    }
}

TEST(QtColorScheme, QtAnswersWhereItReadsTheDesktopElseThePortal)
{
    const QString portal = portalScheme();
    const QString portalLook = portal == QLatin1String("dark") ? QStringLiteral("looks-dark")
                                                               : QStringLiteral("looks-light");
    const struct
    {
        const char *name;
        QString colorScheme;
        bool plasmaSession;
        QString expected;
    } cases[] = {
        // Qt's KDE theme has no accent of its own (it leaves white): the
        // system accent falls back to the palette's selection colour.
        {"Plasma, a dark scheme", QStringLiteral("BreezeDark"), true,
            QStringLiteral("qt dark looks-dark accent %1").arg(kDarkHighlight)},
        {"Plasma, a light scheme", QStringLiteral("BreezeLight"), true,
            QStringLiteral("qt light looks-light accent %1").arg(kLightHighlight)},
        // Without KDE_SESSION_VERSION Qt takes its generic theme, which knows
        // no scheme, whatever kdeglobals says.
        {"KDE without its session version", QStringLiteral("BreezeDark"), false,
            QStringLiteral("portal %1 %2 accent %3").arg(portal, portalLook, kLightHighlight)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Probe probe(c.colorScheme, c.plasmaSession);
        EXPECT_EQ(probe.nextLine().toStdString(), c.expected.toStdString());
    }
}

TEST(QtColorScheme, FollowsPlasmaSwitchingToDark)
{
    Probe probe(QStringLiteral("BreezeLight"), true);
    ASSERT_TRUE(probe.nextLine().startsWith(QLatin1String("qt light looks-light")));

    // As KDE's settings announce a new colour scheme through the portal.
    probe.writeColorScheme(QStringLiteral("BreezeDark"));
    QDBusMessage changed
        = QDBusMessage::createSignal(kPortalPath, kSettings, QStringLiteral("SettingChanged"));
    changed << QStringLiteral("org.kde.kdeglobals.General") << QStringLiteral("ColorScheme")
            << QVariant::fromValue(QDBusVariant(QStringLiteral("BreezeDark")));
    ASSERT_TRUE(QDBusConnection::sessionBus().send(changed));

    EXPECT_TRUE(probe.nextLine().startsWith(QLatin1String("qt dark looks-dark")));
}

} // namespace
