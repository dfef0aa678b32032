// SPDX-License-Identifier: GPL-3.0-or-later
// The Wayland clipboard against a real headless sway, with wl-copy, wl-paste
// and the probe as the other applications: what it reads, what it refuses,
// what it serves.
#include "platform/wayland/WaylandPasteboard.h"

#include "SwaySession.h"

using namespace scrivlet;
using namespace scrivlet::testing;

namespace {

// Waits for the next change, then reads it.
ClipboardRead nextRead(WaylandPasteboard &pasteboard, qint64 &seen)
{
    EXPECT_TRUE(eventually([&] { return pasteboard.changeCount() != seen; }))
        << "the clipboard never changed";
    seen = pasteboard.changeCount();
    std::optional<ClipboardRead> result;
    pasteboard.read(ReadScope::contents, [&](ClipboardRead read) { result = std::move(read); });
    EXPECT_TRUE(eventually([&] { return result.has_value(); }));
    return result.value_or(ClipboardRead {});
}

// The text or image bytes read, "" for none.
QByteArray bytesOf(const ClipboardRead &read)
{
    if (!read.content)
        return {};
    if (const auto *text = std::get_if<ClipContent::Text>(&read.content->value))
        return text->text.toUtf8();
    if (const auto *image = std::get_if<ClipContent::Image>(&read.content->value))
        return image->bytes;
    return "other kind";
}

// Bytes that repeat no short pattern, so that a lost or repeated block shows.
QByteArray imageBytes(qsizetype size)
{
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 7 + i / 4096);
    return bytes;
}

QByteArray wlPaste(const QStringList &arguments)
{
    return run(QStringLiteral("wl-paste"), arguments).value_or("wl-paste failed");
}

using WaylandPasteboardTest = SwaySession;

// Each copy in turn, so that a failure is seen to cost that copy only.
TEST_F(WaylandPasteboardTest, ReadsOtherApplicationsCopiesWithinItsLimits)
{
    ClipboardLimits limits;
    limits.deadlineMs = 300;
    limits.maxOtherBytes = 4096;
    WaylandPasteboard pasteboard(limits);
    ASSERT_TRUE(pasteboard.isCaptureAvailable());
    // The standard protocol wherever it is offered, as on sway 1.12 beside wlr's.
    EXPECT_EQ(pasteboard.protocolName(),
        offeredGlobals().contains(QLatin1String("ext_data_control_manager_v1"))
            ? QStringLiteral("ext_data_control_manager_v1")
            : QStringLiteral("zwlr_data_control_manager_v1"));
    qint64 seen = pasteboard.changeCount();

    const QString text = QStringLiteral("crème brûlée ✓");
    const QByteArray image = imageBytes(300 * 1024);
    const struct
    {
        const char *what;
        bool byProbe; // then what it was asked for is checked, else wl-copy copies
        QStringList arguments;
        QByteArray input;
        QByteArray expected; // "" when nothing may be read
        QStringList asked;
    } cases[] = {
        {"UTF-8 text", false, {text}, {}, text.toUtf8(), {}},
        {"an image, byte for byte", false, {"--type", mime::kPng}, image, image, {}},
        {"a mute owner", true, {"--mute", "--serve", "jamais"}, {}, "",
            {"text/plain;charset=utf-8", "text/plain"}},
        {"a copy over the cap", false, {QString(8192, QLatin1Char('x'))}, {}, "", {}},
        {"PNG beside a TIFF that never comes", true,
            {"--serve", "texte", "--offer", "image/png=PNG", "--mute-type", "image/tiff"}, {},
            "PNG", {"image/png"}},
        {"text beside an RTF that never comes", true,
            {"--serve", "texte", "--mute-type", "text/rtf"}, {}, "texte",
            {"text/rtf", "text/plain;charset=utf-8"}},
        {"a secret, whose text is never asked for", true,
            {"--serve", "hunter2", "--offer", "x-kde-passwordManagerHint=secret"}, {}, "",
            {"x-kde-passwordManagerHint"}},
        {"text after all those", false, {"ensuite"}, {}, "ensuite", {}},
    };
    const QRegularExpression send(QStringLiteral("^send "));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QProcess &owner = c.byProbe ? startProbe(c.arguments)
                                    : start(QStringLiteral("wl-copy"), c.arguments, c.input);
        const ClipboardRead read = nextRead(pasteboard, seen);
        EXPECT_TRUE(bytesOf(read) == c.expected) << bytesOf(read).left(80).toStdString();
        EXPECT_FALSE(read.ownWrite);
        EXPECT_EQ(read.owner, ClipboardRead::Owner::present);
        if (!c.byProbe)
            continue;
        owner.kill();
        owner.waitForFinished();
        EXPECT_EQ(linesOf(owner).filter(send).replaceInStrings(send, QString()), c.asked);
        // Its leaving: the clipboard is left empty, with no one to ask.
        EXPECT_EQ(nextRead(pasteboard, seen).owner, ClipboardRead::Owner::vanished);
    }
}

TEST_F(WaylandPasteboardTest, ServesWhatWeWriteAndKnowsItAsOurs)
{
    WaylandPasteboard pasteboard;
    qint64 seen = pasteboard.changeCount();

    const QByteArray ours = QStringLiteral("à nous").toUtf8();
    pasteboard.write({{mime::kText, ours}});
    ClipboardRead read = nextRead(pasteboard, seen);
    EXPECT_TRUE(read.ownWrite);
    EXPECT_EQ(bytesOf(read), ours);
    EXPECT_EQ(wlPaste({"--no-newline"}), ours);
    const QByteArray types = wlPaste({"--list-types"});
    for (const char *type : {"text/plain;charset=utf-8", "text/plain", "UTF8_STRING", "STRING"})
        EXPECT_TRUE(types.split('\n').contains(type)) << type << " missing from " << types.data();

    // Large data goes out while the reader takes it, byte for byte.
    const QByteArray image = imageBytes(12 * 1024 * 1024);
    pasteboard.write({{mime::kPng, image}});
    EXPECT_TRUE(nextRead(pasteboard, seen).ownWrite);
    EXPECT_TRUE(wlPaste({"--type", mime::kPng}) == image) << "the image came back changed";

    // A reader that stops reading, once it has begun to receive (far less
    // than the image fits in the pipes), holds up no one else.
    QProcess &stalled = start("sh", {"-c", "wl-paste --type image/png | { head -c 1; sleep 30; }"});
    ASSERT_TRUE(eventually([&] { return stalled.bytesAvailable() == 1; }))
        << "the stalled reader never began";
    EXPECT_EQ(wlPaste({"--type", mime::kPng}).size(), image.size());

    // A reader that leaves early costs nothing: the next one gets it all.
    QProcess &early = start("sh", {"-c", "wl-paste --type image/png | head -c 10 >/dev/null"});
    ASSERT_TRUE(eventually([&] { return early.state() == QProcess::NotRunning; }));
    EXPECT_EQ(wlPaste({"--type", mime::kPng}).size(), image.size());

    // Someone else copies: ours no more.
    start(QStringLiteral("wl-copy"), {"à eux"});
    read = nextRead(pasteboard, seen);
    EXPECT_FALSE(read.ownWrite);
    EXPECT_EQ(bytesOf(read), QStringLiteral("à eux").toUtf8());
}

TEST_F(WaylandPasteboardTest, AnswersInTheOrderAsked)
{
    ClipboardLimits limits;
    limits.deadlineMs = 500;
    WaylandPasteboard pasteboard(limits);
    const qint64 seen = pasteboard.changeCount();
    startProbe({"--mute", "--serve", "lent"});
    ASSERT_TRUE(eventually([&] { return pasteboard.changeCount() != seen; }));
    QList<int> order;
    pasteboard.read(ReadScope::contents, [&](const ClipboardRead &) { order << 1; });
    pasteboard.write({{mime::kText, QByteArray("vite")}});
    pasteboard.read(
        ReadScope::contents, [&](const ClipboardRead &read) { order << (read.ownWrite ? 2 : -2); });
    ASSERT_TRUE(eventually([&] { return order.size() == 2; }));
    EXPECT_EQ(order, (QList<int> {1, 2}));
}

} // namespace
