// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland clipboard against a real headless sway (inside
// tests/fixtures/sway-session), with wl-copy, wl-paste and the probe as the
// other applications: what it reads, what it refuses, what it serves.
#include "platform/wayland/WaylandPasteboard.h"

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
    static ClipboardRead nextRead(WaylandPasteboard &pasteboard, qint64 &seen)
    {
        const bool changed
            = scrivlet::testing::waitFor([&] { return pasteboard.changeCount() != seen; }, kWaitMs);
        EXPECT_TRUE(changed) << "the clipboard never changed";
        seen = pasteboard.changeCount();
        return read(pasteboard);
    }

    static ClipboardRead read(WaylandPasteboard &pasteboard)
    {
        ClipboardRead result;
        bool done = false;
        pasteboard.read(ReadScope::contents, [&](ClipboardRead read) {
            result = std::move(read);
            done = true;
        });
        EXPECT_TRUE(scrivlet::testing::waitFor([&] { return done; }, kWaitMs));
        return result;
    }

    // The text or image bytes read, "" for none.
    static QByteArray bytesOf(const ClipboardRead &read)
    {
        if (!read.content)
            return {};
        if (const auto *text = std::get_if<ClipContent::Text>(&read.content->value))
            return text->text.toUtf8();
        if (const auto *image = std::get_if<ClipContent::Image>(&read.content->value))
            return image->bytes;
        return "other kind";
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
    ClipboardRead read = nextRead(pasteboard, seen);
    EXPECT_EQ(bytesOf(read), text.toUtf8());
    EXPECT_FALSE(read.ownWrite);
    EXPECT_EQ(read.owner, ClipboardRead::Owner::present);

    QByteArray image(300 * 1024, '\0');
    for (char &byte : image)
        byte = char(QRandomGenerator::global()->generate());
    start(QStringLiteral("wl-copy"), {QStringLiteral("--type"), mime::kPng}, image);
    read = nextRead(pasteboard, seen);
    EXPECT_TRUE(bytesOf(read) == image) << "the image came changed";

    // The owner goes: the clipboard is left empty, with no one to ask.
    const auto owners = [] {
        return run(QStringLiteral("pgrep"), {QStringLiteral("-x"), QStringLiteral("wl-copy")});
    };
    ASSERT_FALSE(owners().isEmpty());
    run(QStringLiteral("pkill"), {QStringLiteral("-x"), QStringLiteral("wl-copy")});
    read = nextRead(pasteboard, seen);
    EXPECT_EQ(read.owner, ClipboardRead::Owner::vanished);
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
    EXPECT_FALSE(nextRead(pasteboard, seen).content) << "a mute owner's copy was read";
    EXPECT_TRUE(mute.readAllStandardOutput().contains("send "));

    start(QStringLiteral("wl-copy"), {QString(8192, QLatin1Char('x'))});
    EXPECT_FALSE(nextRead(pasteboard, seen).content) << "a copy over the cap was read";

    // Each failure cost that copy only.
    start(QStringLiteral("wl-copy"), {QStringLiteral("ensuite")});
    EXPECT_EQ(bytesOf(nextRead(pasteboard, seen)), "ensuite");
}

TEST_F(WaylandPasteboardTest, AFormatThatNeverComesCostsThatFormatOnly)
{
    ClipboardLimits limits;
    limits.deadlineMs = 300;
    WaylandPasteboard pasteboard(limits);
    qint64 seen = pasteboard.changeCount();
    const struct
    {
        const char *what;
        QStringList arguments;
        QByteArray expected;
        QList<QByteArray> asked;
    } cases[] = {
        {"PNG beside a TIFF that never comes",
            {"--offer", "image/png=PNG", "--mute-type", "image/tiff"}, "PNG", {"image/png"}},
        {"text beside an RTF that never comes", {"--mute-type", "text/rtf"}, "texte",
            {"text/rtf", "text/plain;charset=utf-8"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QProcess &owner = start(QStringLiteral(PROBE),
            QStringList {QStringLiteral("--timeout"), QStringLiteral("30000"),
                QStringLiteral("--serve"), QStringLiteral("texte")}
                + c.arguments);
        EXPECT_EQ(bytesOf(nextRead(pasteboard, seen)), c.expected);
        owner.kill();
        owner.waitForFinished();
        QList<QByteArray> asked;
        for (const QByteArray &line : owner.readAllStandardOutput().split('\n')) {
            if (line.startsWith("send "))
                asked << line.mid(5);
        }
        EXPECT_EQ(asked, c.asked);
        nextRead(pasteboard, seen); // its leaving
    }
}

TEST_F(WaylandPasteboardTest, NeverAsksASecretForItsText)
{
    WaylandPasteboard pasteboard;
    qint64 seen = pasteboard.changeCount();
    QProcess &owner = start(QStringLiteral(PROBE),
        {QStringLiteral("--timeout"), QStringLiteral("30000"), QStringLiteral("--serve"),
            QStringLiteral("hunter2"), QStringLiteral("--offer"),
            QStringLiteral("x-kde-passwordManagerHint=secret")});
    EXPECT_FALSE(nextRead(pasteboard, seen).content);
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
    ClipboardRead read = nextRead(pasteboard, seen);
    EXPECT_TRUE(read.ownWrite);
    EXPECT_EQ(bytesOf(read), QStringLiteral("à nous").toUtf8());
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
    EXPECT_TRUE(nextRead(pasteboard, seen).ownWrite);
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
    read = nextRead(pasteboard, seen);
    EXPECT_FALSE(read.ownWrite);
    EXPECT_EQ(bytesOf(read), QStringLiteral("à eux").toUtf8());
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
    pasteboard.read(ReadScope::contents, [&](const ClipboardRead &) { order << 1; });
    pasteboard.write({{mime::kText, QByteArray("vite")}});
    pasteboard.read(
        ReadScope::contents, [&](const ClipboardRead &read) { order << (read.ownWrite ? 2 : -2); });
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
