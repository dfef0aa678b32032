// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard reader against owners that misbehave, on the test display:
// each costs the reader's thread a deadline at most, never the main thread,
// and the next well-behaved owner is read as usual.
#include "X11Clients.h"
#include "platform/x11/X11ClipboardReader.h"
#include "support/ResidentMemory.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::Probe;
using testing::residentKilobytes;

struct Owner : Probe
{
    explicit Owner(const QStringList &arguments)
        : Probe(HOSTILE_OWNER, arguments)
    {
        EXPECT_TRUE(says("owning")) << errors();
    }
    // The targets it was asked for (with --tell), once it is stopped.
    QByteArrayList asked()
    {
        stop();
        QByteArrayList targets;
        for (const QByteArray &line : lines()) {
            if (line.startsWith("asked "))
                targets << line.mid(6);
        }
        return targets;
    }
};

struct Outcome
{
    std::optional<ClipboardRead> read;
    QString why;
    qint64 longestStallMs = 0;
    // What was read, as "kind:bytes".
    [[nodiscard]] QByteArray content() const
    {
        if (!read || !read->content)
            return "none:";
        if (const auto *text = std::get_if<ClipContent::Text>(&read->content->value))
            return "text:" + text->text.toUtf8();
        if (const auto *rich = std::get_if<ClipContent::RichText>(&read->content->value))
            return "richText:" + rich->plain.toUtf8();
        if (const auto *image = std::get_if<ClipContent::Image>(&read->content->value))
            return "image:" + image->bytes;
        return "files:";
    }
};

// Reads once while measuring how long the main thread ever went unserved.
Outcome readClipboard(X11ClipboardReader &reader, ReadScope scope = ReadScope::contents)
{
    Outcome outcome;
    bool done = false;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
        [&] { outcome.longestStallMs = std::max(outcome.longestStallMs, sinceTick.restart()); });
    tick.start(5);
    reader.read(scope, [&](ClipboardRead read, const QString &why) {
        outcome.read = std::move(read);
        outcome.why = why;
        done = true;
    });
    testing::waitFor([&] { return done; }, 30000);
    return outcome;
}

TEST(ClipboardReaderX11, MisbehavingOwnersCostADeadlineNeverTheInterface)
{
    const struct
    {
        const char *what;
        QStringList arguments;
        QByteArray expected;
    } cases[] = {
        {"a well-behaved owner", {"bonjour"}, "text:bonjour"},
        {"an owner that never answers", {"x", "--mute"}, "none:"},
        {"an owner that answers after 3 s", {"x", "--slow", "3000"}, "none:"},
        {"5 MB in parts", {"x", "--incr", "5000000"}, "text:" + QByteArray(5000000, 'x')},
        {"200 MB in parts, over the cap", {"x", "--incr", "200000000"}, "none:"},
        {"an owner that dies mid-transfer", {"x", "--incr", "3000000", "--die-mid"}, "none:"},
        {"thousands of targets", {"bonjour", "--targets", "5000"}, "text:bonjour"},
    };
    ClipboardLimits limits;
    limits.maxOtherBytes = 16 * 1024 * 1024;
    X11ClipboardReader reader(limits);
    [[maybe_unused]] const long before = residentKilobytes();
    for (const auto &test : cases) {
        SCOPED_TRACE(test.what);
        {
            Owner owner(test.arguments);
            const Outcome outcome = readClipboard(reader);
            // Blocked for the owner's deadline would mean the read ran on it.
            EXPECT_LT(outcome.longestStallMs, limits.deadlineMs / 2) << "the main thread waited";
            const QByteArray content = outcome.content();
            EXPECT_TRUE(content == test.expected) << content.left(40).toStdString();
            EXPECT_TRUE(content != "none:" || !outcome.why.isEmpty()) << "skipped without a reason";
        }
#ifndef SCRIVLET_SANITIZED // AddressSanitizer holds freed memory back
        EXPECT_LT(residentKilobytes() - before, 64 * 1024) << "memory beyond the cap";
#endif
        Owner next({"suivant"});
        EXPECT_EQ(readClipboard(reader).content(), "text:suivant") << "the next copy";
    }
}

TEST(ClipboardReaderX11, OnlyWhatTheCopyNeedsIsAskedForAndAFormatThatFailsIsAbsent)
{
    const struct
    {
        const char *what;
        QStringList arguments;
        QByteArray expected;
        QByteArrayList asked; // after TARGETS
    } cases[] = {
        {"PNG beside a TIFF that never answers",
            {"caption", "--offer", "image/png=PNG", "--mute-type", "image/tiff"}, "image:PNG",
            {"image/png"}},
        {"text beside an RTF that never answers", {"plain", "--mute-type", "text/rtf"},
            "text:plain", {"text/rtf", "text/plain;charset=utf-8"}},
        {"text beside an RTF that is answered", {"bold", "--offer", "text/rtf={\\rtf1 bold}"},
            "richText:bold", {"text/rtf", "text/plain;charset=utf-8"}},
        {"the preferred text type refused",
            {"suivant", "--refuse-type", "text/plain;charset=utf-8"}, "text:suivant",
            {"text/plain;charset=utf-8", "UTF8_STRING"}},
        {"a secret", {"hunter2", "--secret"}, "none:", {"x-kde-passwordManagerHint"}},
        {"files mixed with a web address",
            {"ignored", "--offer", "text/uri-list=file:///tmp/a\r\nhttps://example.org/\r\n",
                "--refuse-type", "text/plain;charset=utf-8", "--refuse-type", "UTF8_STRING",
                "--refuse-type", "text/plain"},
            "text:file:///tmp/a\nhttps://example.org/",
            {"text/uri-list", "text/plain;charset=utf-8", "UTF8_STRING", "text/plain"}},
    };
    ClipboardLimits limits;
    limits.deadlineMs = 300;
    X11ClipboardReader reader(limits);
    for (const auto &test : cases) {
        SCOPED_TRACE(test.what);
        Owner owner(test.arguments + QStringList {"--tell"});
        EXPECT_EQ(readClipboard(reader).content(), test.expected);
        EXPECT_EQ(owner.asked(), QByteArrayList {"TARGETS"} + test.asked);
    }
}

TEST(ClipboardReaderX11, TellsAnOwnerGoneFromAClipboardEmptiedOnPurpose)
{
    X11ClipboardReader reader;
    const auto ownerNow = [&] { return readClipboard(reader, ReadScope::ownerOnly).read->owner; };
    {
        Owner owner({"x", "--clear-after", "0"});
        ASSERT_TRUE(owner.says("cleared"));
        EXPECT_EQ(ownerNow(), ClipboardRead::Owner::cleared);
    }
    Owner owner({"x"});
    EXPECT_EQ(ownerNow(), ClipboardRead::Owner::present);
    owner.stop();
    ASSERT_TRUE(testing::waitFor([&] { return ownerNow() != ClipboardRead::Owner::present; }));
    EXPECT_EQ(ownerNow(), ClipboardRead::Owner::vanished);
}

// What Scrivlet itself put there is known as its own, even when the reader
// finds it where another application's copy was expected.
TEST(ClipboardReaderX11, OurOwnCopyIsKnownAsOurs)
{
    X11ClipboardReader reader;
    Owner other({"theirs"});
    EXPECT_FALSE(readClipboard(reader).read->ownWrite);
    auto *data = new QMimeData;
    data->setText("ours");
    QGuiApplication::clipboard()->setMimeData(data);
    const Outcome outcome = readClipboard(reader);
    EXPECT_TRUE(outcome.read->ownWrite);
    EXPECT_EQ(outcome.content(), "text:ours");
    QGuiApplication::clipboard()->clear();
}

} // namespace
} // namespace scrivlet
