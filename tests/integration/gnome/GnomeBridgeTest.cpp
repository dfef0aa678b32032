// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge against a real GNOME Shell running Scrivlet's extension, with
// wl-copy, wl-paste and a GTK window as the other applications.
#include "platform/gnome/GnomePasteboard.h"
#include "platform/gnome/GnomeWorkspace.h"
#include "platform/gnome/ShellBridge.h"
#include "support/WaitFor.h"

#include <QProcess>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace scrivlet {
namespace {

using testing::waitFor;

constexpr int kWaitMs = 15000;

std::optional<QByteArray> run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kWaitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// What a read delivers, once it has.
std::optional<ClipboardRead> readNow(GnomePasteboard &pasteboard, ReadScope scope)
{
    std::optional<ClipboardRead> result;
    pasteboard.read(scope, [&](ClipboardRead read) { result = std::move(read); });
    if (!waitFor([&] { return result.has_value(); }, kWaitMs))
        return std::nullopt;
    return result;
}

QString textOf(const std::optional<ClipboardRead> &read)
{
    if (!read || !read->content)
        return QStringLiteral("(nothing)");
    const auto *text = std::get_if<ClipContent::Text>(&read->content->value);
    return text ? text->text : QStringLiteral("(not text)");
}

// One Shell for the whole run: the bridge attached once, as Scrivlet is.
class GnomeBridge : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (qEnvironmentVariable("XDG_CURRENT_DESKTOP") != QLatin1String("GNOME"))
            return;
        s_bridge = new ShellBridge();
        s_started = s_bridge->start();
        s_pasteboard = new GnomePasteboard(*s_bridge, ClipboardLimits {});
    }
    static void TearDownTestSuite()
    {
        delete s_pasteboard;
        delete s_bridge;
    }
    void SetUp() override
    {
        if (!s_bridge)
            GTEST_SKIP() << "needs GNOME Shell: run it in tests/fixtures/session --gnome";
        ASSERT_TRUE(s_started);
        ASSERT_TRUE(waitFor([] { return s_bridge->isAttached(); }, kWaitMs))
            << s_bridge->why().toStdString();
    }
    void TearDown() override
    {
        for (const auto &process : m_processes) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    QProcess &start(const QString &program, const QStringList &arguments)
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess &process = *m_processes.back();
        process.start(program, arguments);
        return process;
    }
    // Waits for the next copy the pasteboard counts.
    [[nodiscard]] static bool copied(qint64 before)
    {
        return waitFor([before] { return s_pasteboard->changeCount() != before; }, kWaitMs);
    }

    static inline ShellBridge *s_bridge = nullptr;
    static inline GnomePasteboard *s_pasteboard = nullptr;
    static inline bool s_started = false;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(GnomeBridge, AttachesToTheActiveExtensionAndHoldsItsName)
{
    EXPECT_EQ(s_bridge->extension(), ShellBridge::Extension::active);
    EXPECT_TRUE(s_bridge->why().isEmpty()) << s_bridge->why().toStdString();
    // A second Scrivlet on the same bus cannot take the extension over.
    ShellBridge second(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("second")));
    EXPECT_FALSE(second.start());
}

TEST_F(GnomeBridge, ReadsAnotherApplicationsCopyAndSeesItsOwnerLeave)
{
    qint64 before = s_pasteboard->changeCount();
    QProcess &copier = start(QStringLiteral("wl-copy"),
        {QStringLiteral("--foreground"), QStringLiteral("copied in GNOME")});
    ASSERT_TRUE(copied(before));
    EXPECT_EQ(s_bridge->selection().origin, QLatin1String("application"));
    EXPECT_TRUE(s_bridge->selection().types.contains(QLatin1String("text/plain")))
        << s_bridge->selection().types.join(QLatin1Char(' ')).toStdString();
    const std::optional<ClipboardRead> read = readNow(*s_pasteboard, ReadScope::contents);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->owner, ClipboardRead::Owner::present);
    EXPECT_FALSE(read->ownWrite);
    EXPECT_EQ(textOf(read).toStdString(), "copied in GNOME");

    // Its owner gone, the Shell keeps a copy of its own: that is the
    // departure, not another copy.
    before = s_pasteboard->changeCount();
    copier.kill();
    copier.waitForFinished(kWaitMs);
    ASSERT_TRUE(copied(before));
    ASSERT_TRUE(
        waitFor([] { return s_bridge->selection().origin == QLatin1String("kept"); }, kWaitMs))
        << s_bridge->selection().origin.toStdString();
    EXPECT_EQ(s_pasteboard->changeCount(), before + 1);
    const std::optional<ClipboardRead> left = readNow(*s_pasteboard, ReadScope::ownerOnly);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->owner, ClipboardRead::Owner::vanished);
}

TEST_F(GnomeBridge, WrittenFormatsArePastedByOthersAndReadAsOurs)
{
    const qint64 before = s_pasteboard->changeCount();
    s_pasteboard->write({{QStringLiteral("text/html"), QByteArrayLiteral("<b>from Scrivlet</b>")},
        {QStringLiteral("text/plain"), QByteArrayLiteral("from Scrivlet")}});
    ASSERT_TRUE(copied(before));
    EXPECT_EQ(s_bridge->selection().origin, QLatin1String("scrivlet"));
    EXPECT_EQ(
        run(QStringLiteral("wl-paste"),
            {QStringLiteral("--no-newline"), QStringLiteral("-t"), QStringLiteral("text/html")})
            .value_or("(failed)"),
        "<b>from Scrivlet</b>");
    EXPECT_EQ(
        run(QStringLiteral("wl-paste"),
            {QStringLiteral("--no-newline"), QStringLiteral("-t"), QStringLiteral("text/plain")})
            .value_or("(failed)"),
        "from Scrivlet");
    const std::optional<ClipboardRead> read = readNow(*s_pasteboard, ReadScope::contents);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->ownWrite);
}

TEST_F(GnomeBridge, ReadOverTheCapFailsAndLeavesTheCopyReadable)
{
    const qint64 before = s_pasteboard->changeCount();
    const QByteArray big(4 * 1024 * 1024, 'x');
    // Through its input: an argument may not be that long.
    QProcess &copier = start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground")});
    copier.write(big);
    copier.closeWriteChannel();
    ASSERT_TRUE(copied(before));
    const ShellBridge::Selection selection = s_bridge->selection();
    QString why;
    EXPECT_FALSE(
        s_bridge->read(selection.serial, QStringLiteral("text/plain"), 64 * 1024, 5000, &why));
    EXPECT_TRUE(why.contains(QLatin1String("65536 bytes"))) << why.toStdString();
    // The owner is not stuck on our early close: the whole copy still comes.
    const std::optional<QByteArray> whole
        = s_bridge->read(selection.serial, QStringLiteral("text/plain"), big.size(), 5000, &why);
    ASSERT_TRUE(whole) << why.toStdString();
    EXPECT_EQ(whole->size(), big.size());
    // A type the copy does not offer, and a copy no longer there, are refused.
    EXPECT_FALSE(s_bridge->read(selection.serial, QStringLiteral("image/png"), big.size(), 5000));
    EXPECT_FALSE(
        s_bridge->read(selection.serial + 1000, QStringLiteral("text/plain"), big.size(), 5000));
}

TEST_F(GnomeBridge, FocusedWindowIsTheGtkWindowInFront)
{
    GnomeWorkspace workspace(*s_bridge);
    QProcess &window = start(QStringLiteral("python3"),
        {QStringLiteral(GTK_COPIER), QStringLiteral("org.scrivlet.GnomeFocus"),
            QStringLiteral("unused")});
    ASSERT_TRUE(waitFor(
        [&] {
            return workspace.frontmostApplicationId() == QLatin1String("org.scrivlet.GnomeFocus");
        },
        kWaitMs))
        << workspace.frontmostApplicationId().value_or(QStringLiteral("(none)")).toStdString();
    const std::optional<WindowRef> active = workspace.activeWindow();
    ASSERT_TRUE(active);
    EXPECT_NE(active->id, 0U);
    window.kill();
    window.waitForFinished(kWaitMs);
    EXPECT_TRUE(waitFor(
        [&] {
            return workspace.frontmostApplicationId() != QLatin1String("org.scrivlet.GnomeFocus");
        },
        kWaitMs));
}

// Last: it takes the extension away and back.
TEST_F(GnomeBridge, ZReattachesWhenTheExtensionComesBack)
{
    QSignalSpy attached(s_bridge, &ShellBridge::attachedChanged);
    const QString uuid = QString::fromLatin1(ShellBridge::kUuid);
    ASSERT_TRUE(run(QStringLiteral("gnome-extensions"), {QStringLiteral("disable"), uuid}));
    ASSERT_TRUE(waitFor([] { return !s_bridge->isAttached(); }, kWaitMs));
    EXPECT_TRUE(
        waitFor([] { return s_bridge->extension() == ShellBridge::Extension::disabled; }, kWaitMs));
    EXPECT_TRUE(s_bridge->why().contains(QLatin1String("not enabled")))
        << s_bridge->why().toStdString();

    ASSERT_TRUE(run(QStringLiteral("gnome-extensions"), {QStringLiteral("enable"), uuid}));
    ASSERT_TRUE(waitFor([] { return s_bridge->isAttached(); }, kWaitMs))
        << s_bridge->why().toStdString();
    EXPECT_EQ(s_bridge->extension(), ShellBridge::Extension::active);
    ASSERT_GE(attached.size(), 2);
    EXPECT_FALSE(attached.first().first().toBool());
    EXPECT_TRUE(attached.last().first().toBool());

    // And the bridge works again: a copy is announced and read. (The copy
    // in place is asked for at attach, and may be counted as new.)
    ASSERT_TRUE(waitFor([] { return !s_bridge->selection().types.isEmpty(); }, kWaitMs));
    const qint64 before = s_pasteboard->changeCount();
    start(QStringLiteral("wl-copy"),
        {QStringLiteral("--foreground"), QStringLiteral("after re-enabling")});
    ASSERT_TRUE(waitFor(
        [] {
            return s_bridge->selection().announced
                && s_bridge->selection().origin == QLatin1String("application");
        },
        kWaitMs));
    EXPECT_GT(s_pasteboard->changeCount(), before);
    EXPECT_EQ(
        textOf(readNow(*s_pasteboard, ReadScope::contents)).toStdString(), "after re-enabling");
}

} // namespace
} // namespace scrivlet
