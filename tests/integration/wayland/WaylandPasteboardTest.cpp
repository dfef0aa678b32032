// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland clipboard against a real headless sway (inside
// tests/fixtures/sway-session), with wl-copy, wl-paste and the probe as the
// other applications: what it reads, what it refuses, what it serves.
#include "platform/wayland/WaylandPasteboard.h"

#include "core/MimeSnapshot.h"
#include "support/WaitFor.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>

using namespace scrivlet;

namespace {

constexpr int kWaitMs = 10000;

class WaylandPasteboardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            GTEST_SKIP() << "no Wayland session (run inside tests/fixtures/sway-session)";
    }

    void TearDown() override
    {
        for (QProcess *process : m_processes) {
            process->kill();
            process->waitForFinished(2000);
            delete process;
        }
    }

    // Starts a program that stays (wl-copy serves its copy from a child).
    QProcess &start(
        const QString &program, const QStringList &arguments, const QByteArray &input = {})
    {
        auto *process = new QProcess;
        m_processes.push_back(process);
        process->start(program, arguments);
        EXPECT_TRUE(process->waitForStarted(kWaitMs)) << program.toStdString();
        if (!input.isNull()) {
            process->write(input);
            process->closeWriteChannel();
        }
        return *process;
    }

    static QByteArray run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(kWaitMs);
        return process.readAllStandardOutput();
    }

    // Waits for the next change, then reads it.
    static std::shared_ptr<const PasteboardSnapshot> nextSnapshot(
        WaylandPasteboard &pasteboard, qint64 &seen)
    {
        const bool changed
            = scrivlet::testing::waitFor([&] { return pasteboard.changeCount() != seen; }, kWaitMs);
        EXPECT_TRUE(changed) << "the clipboard never changed";
        seen = pasteboard.changeCount();
        return read(pasteboard);
    }

    static std::shared_ptr<const PasteboardSnapshot> read(WaylandPasteboard &pasteboard)
    {
        std::shared_ptr<const PasteboardSnapshot> result;
        bool done = false;
        pasteboard.readSnapshot([&](std::shared_ptr<const PasteboardSnapshot> snapshot) {
            result = std::move(snapshot);
            done = true;
        });
        EXPECT_TRUE(scrivlet::testing::waitFor([&] { return done; }, kWaitMs));
        return result;
    }

    std::vector<QProcess *> m_processes;
};

TEST_F(WaylandPasteboardTest, ReadsWhatOtherApplicationsCopy)
{
    WaylandPasteboard pasteboard;
    ASSERT_TRUE(pasteboard.isCaptureAvailable());
    EXPECT_EQ(pasteboard.protocolName(), QStringLiteral("zwlr_data_control_manager_v1"));
    qint64 seen = pasteboard.changeCount();

    const QString text = QStringLiteral("crème brûlée ✓");
    start(QStringLiteral("wl-copy"), {text});
    auto snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->string(mime::kText), text);
    EXPECT_FALSE(snapshot->isOwnWrite());
    EXPECT_TRUE(snapshot->hasOwner());

    QByteArray image(300 * 1024, '\0');
    for (char &byte : image)
        byte = char(QRandomGenerator::global()->generate());
    start(QStringLiteral("wl-copy"), {QStringLiteral("--type"), mime::kPng}, image);
    snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->data(mime::kPng), image);
    EXPECT_FALSE(snapshot->hasType(mime::kText));

    // The owner goes: the clipboard is left empty, with no one to ask.
    const auto owners = [] {
        return run(QStringLiteral("pgrep"), {QStringLiteral("-x"), QStringLiteral("wl-copy")});
    };
    ASSERT_FALSE(owners().isEmpty());
    run(QStringLiteral("pkill"), {QStringLiteral("-x"), QStringLiteral("wl-copy")});
    snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(snapshot->hasOwner());
}

TEST_F(WaylandPasteboardTest, GivesUpOnOwnersThatStallOrSendTooMuch)
{
    ClipboardLimits limits;
    limits.deadlineMs = 300;
    limits.maxOtherBytes = 4096;
    WaylandPasteboard pasteboard(limits);
    qint64 seen = pasteboard.changeCount();

    QProcess &mute = start(QStringLiteral(PROBE),
        {QStringLiteral("--timeout"), QStringLiteral("30000"), QStringLiteral("--mute"),
            QStringLiteral("--serve"), QStringLiteral("jamais")});
    EXPECT_FALSE(nextSnapshot(pasteboard, seen)) << "a mute owner's copy was read";
    EXPECT_TRUE(mute.readAllStandardOutput().contains("send "));

    start(QStringLiteral("wl-copy"), {QString(8192, QLatin1Char('x'))});
    EXPECT_FALSE(nextSnapshot(pasteboard, seen)) << "a copy over the cap was read";

    // Each failure cost that copy only.
    start(QStringLiteral("wl-copy"), {QStringLiteral("ensuite")});
    const auto snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->string(mime::kText), QStringLiteral("ensuite"));
}

TEST_F(WaylandPasteboardTest, NeverAsksASecretForItsText)
{
    WaylandPasteboard pasteboard;
    qint64 seen = pasteboard.changeCount();
    QProcess &owner = start(QStringLiteral(PROBE),
        {QStringLiteral("--timeout"), QStringLiteral("30000"), QStringLiteral("--serve"),
            QStringLiteral("hunter2"), QStringLiteral("--offer"),
            QStringLiteral("x-kde-passwordManagerHint=secret")});
    const auto snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(readClip(*snapshot));
    EXPECT_FALSE(snapshot->data(mime::kText));
    QCoreApplication::processEvents();
    const QByteArray asked = owner.readAllStandardOutput();
    EXPECT_TRUE(asked.contains("send x-kde-passwordManagerHint")) << asked.toStdString();
    EXPECT_FALSE(asked.contains("send text/")) << asked.toStdString();
}

TEST_F(WaylandPasteboardTest, ServesWhatWeWriteAndKnowsItAsOurs)
{
    WaylandPasteboard pasteboard;
    qint64 seen = pasteboard.changeCount();

    pasteboard.write({{mime::kText, QStringLiteral("à nous").toUtf8()}});
    auto snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_TRUE(snapshot->isOwnWrite());
    EXPECT_EQ(snapshot->string(mime::kText), QStringLiteral("à nous"));
    EXPECT_EQ(run(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")}),
        QStringLiteral("à nous").toUtf8());
    const QByteArray types = run(QStringLiteral("wl-paste"), {QStringLiteral("--list-types")});
    for (const char *type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING"})
        EXPECT_TRUE(types.split('\n').contains(type))
            << type << " missing from " << types.toStdString();

    // Large data goes out while the reader takes it, byte for byte.
    QByteArray image(12 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < image.size(); ++i)
        image[i] = char(i * 7 + i / 4096);
    pasteboard.write({{mime::kPng, image}});
    snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot && snapshot->isOwnWrite());
    QProcess paste;
    paste.start(QStringLiteral("wl-paste"), {QStringLiteral("--type"), mime::kPng});
    ASSERT_TRUE(
        scrivlet::testing::waitFor([&] { return paste.state() == QProcess::NotRunning; }, kWaitMs));
    EXPECT_TRUE(paste.readAllStandardOutput() == image) << "the image came back changed";

    // A reader that stops reading holds up no one else.
    start(QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("wl-paste --type image/png | sleep 30")});
    QThread::msleep(300);
    EXPECT_EQ(run(QStringLiteral("wl-paste"), {QStringLiteral("--type"), mime::kPng}).size(),
        image.size());

    // A reader that leaves early costs nothing: the next one gets it all.
    QProcess early;
    early.start(QStringLiteral("sh"),
        {QStringLiteral("-c"),
            QStringLiteral("wl-paste --type image/png | head -c 10 >/dev/null")});
    ASSERT_TRUE(
        scrivlet::testing::waitFor([&] { return early.state() == QProcess::NotRunning; }, kWaitMs));
    EXPECT_EQ(run(QStringLiteral("wl-paste"), {QStringLiteral("--type"), mime::kPng}).size(),
        image.size());

    // Someone else copies: ours no more.
    start(QStringLiteral("wl-copy"), {QStringLiteral("à eux")});
    snapshot = nextSnapshot(pasteboard, seen);
    ASSERT_TRUE(snapshot);
    EXPECT_FALSE(snapshot->isOwnWrite());
    EXPECT_EQ(snapshot->string(mime::kText), QStringLiteral("à eux"));
}

TEST_F(WaylandPasteboardTest, AnswersInTheOrderAsked)
{
    ClipboardLimits limits;
    limits.deadlineMs = 500;
    WaylandPasteboard pasteboard(limits);
    start(QStringLiteral(PROBE),
        {QStringLiteral("--timeout"), QStringLiteral("30000"), QStringLiteral("--mute"),
            QStringLiteral("--serve"), QStringLiteral("lent")});
    qint64 seen = pasteboard.changeCount();
    ASSERT_TRUE(
        scrivlet::testing::waitFor([&] { return pasteboard.changeCount() != seen; }, kWaitMs));
    QList<int> order;
    pasteboard.readSnapshot([&](auto) { order << 1; });
    pasteboard.write({{mime::kText, QByteArray("vite")}});
    pasteboard.readSnapshot(
        [&](auto snapshot) { order << (snapshot && snapshot->isOwnWrite() ? 2 : -2); });
    ASSERT_TRUE(scrivlet::testing::waitFor([&] { return order.size() == 2; }, kWaitMs));
    EXPECT_EQ(order, (QList<int> {1, 2}));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
