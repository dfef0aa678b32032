// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard reader against owners that misbehave, on the test display:
// each costs the reader's thread a deadline at most, never the main thread,
// and the next well-behaved owner is read as usual.
#include "platform/x11/X11ClipboardReader.h"
#include "support/WaitFor.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::waitFor;

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmRSS:") {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes;
        }
    }
    return 0;
}

struct Owner
{
    QProcess process;
    explicit Owner(const QStringList &arguments)
    {
        process.start(QStringLiteral(HOSTILE_OWNER), arguments);
        EXPECT_TRUE(process.waitForReadyRead(10000));
        EXPECT_EQ(process.readLine().trimmed(), "owning");
    }
    ~Owner() { stop(); }
    void stop()
    {
        process.kill();
        process.waitForFinished();
    }
    // The targets it was asked for (with --tell), once it is stopped.
    QList<QByteArray> asked()
    {
        stop();
        QList<QByteArray> targets;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
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
    [[nodiscard]] QByteArray text() const
    {
        if (!read || !read->content)
            return {};
        const auto *text = std::get_if<ClipContent::Text>(&read->content->value);
        return text ? text->text.toUtf8() : QByteArray();
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
    waitFor([&] { return done; }, 30000);
    return outcome;
}

TEST(ClipboardReaderX11, MisbehavingOwnersCostADeadlineNeverTheInterface)
{
    struct Case
    {
        const char *what;
        QStringList arguments;
        qint64 expectedSize; // -1: skipped
    };
    const Case cases[] = {
        {"a well-behaved owner", {"bonjour"}, 7},
        {"an owner that never answers", {"x", "--mute"}, -1},
        {"an owner that answers after 3 s", {"x", "--slow", "3000"}, -1},
        {"5 MB in parts", {"x", "--incr", "5000000"}, 5000000},
        {"200 MB in parts, over the cap", {"x", "--incr", "200000000"}, -1},
        {"an owner that dies mid-transfer", {"x", "--incr", "3000000", "--die-mid"}, -1},
        {"thousands of targets", {"bonjour", "--targets", "5000"}, 7},
    };
    ClipboardLimits limits;
    limits.maxOtherBytes = 16 * 1024 * 1024;
    X11ClipboardReader reader(limits);
    const long before = residentKilobytes();
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        {
            Owner owner(test.arguments);
            const Outcome outcome = readClipboard(reader);
            std::printf("%-36s longest main-thread stall %3lld ms\n", test.what,
                static_cast<long long>(outcome.longestStallMs));
            // Blocked for the owner's deadline would mean the read ran on it.
            EXPECT_LT(outcome.longestStallMs, limits.deadlineMs / 2) << "the main thread waited";
            if (test.expectedSize < 0) {
                EXPECT_TRUE(outcome.text().isEmpty());
                EXPECT_FALSE(outcome.why.isEmpty());
            } else {
                EXPECT_EQ(outcome.text().size(), test.expectedSize) << outcome.why.toStdString();
            }
        }
#ifndef SCRIVLET_SANITIZED // AddressSanitizer holds freed memory back
        EXPECT_LT(residentKilobytes() - before, 64 * 1024) << "memory beyond the cap";
#else
        (void)before;
#endif
        // The next normal copy is read.
        Owner next({QStringLiteral("suivant")});
        EXPECT_EQ(readClipboard(reader).text(), "suivant");
    }
}

TEST(ClipboardReaderX11, OnlyWhatTheCopyNeedsIsAskedForAndAFormatThatFailsIsAbsent)
{
    struct Case
    {
        const char *what;
        QStringList arguments;
        const char *expected; // kind:bytes
        QList<QByteArray> asked; // after TARGETS
    };
    const Case cases[] = {
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
    for (const Case &test : cases) {
        SCOPED_TRACE(test.what);
        Owner owner(test.arguments + QStringList {QStringLiteral("--tell")});
        const Outcome outcome = readClipboard(reader);
        ASSERT_TRUE(outcome.read);
        QByteArray got = "none:";
        if (const auto &content = outcome.read->content) {
            struct Visitor
            {
                QByteArray operator()(const ClipContent::Text &c) const
                {
                    return "text:" + c.text.toUtf8();
                }
                QByteArray operator()(const ClipContent::RichText &c) const
                {
                    return "richText:" + c.plain.toUtf8();
                }
                QByteArray operator()(const ClipContent::Image &c) const
                {
                    return "image:" + c.bytes;
                }
                QByteArray operator()(const ClipContent::Files &c) const
                {
                    return "files:" + c.paths.join(QLatin1Char(',')).toUtf8();
                }
            };
            got = std::visit(Visitor {}, content->value);
        }
        EXPECT_EQ(got, test.expected);
        EXPECT_EQ(owner.asked(), QList<QByteArray> {"TARGETS"} + test.asked);
    }
}

TEST(ClipboardReaderX11, TellsAnOwnerGoneFromAClipboardEmptiedOnPurpose)
{
    X11ClipboardReader reader;
    const auto ownerNow = [&] { return readClipboard(reader, ReadScope::ownerOnly).read->owner; };
    {
        Owner owner({QStringLiteral("x"), QStringLiteral("--clear-after"), QStringLiteral("0")});
        ASSERT_TRUE(waitFor([&] { return owner.process.readLine().trimmed() == "cleared"; }));
        EXPECT_EQ(ownerNow(), ClipboardRead::Owner::cleared);
    }
    Owner owner({QStringLiteral("x")});
    EXPECT_EQ(ownerNow(), ClipboardRead::Owner::present);
    owner.stop();
    ASSERT_TRUE(waitFor([&] { return ownerNow() != ClipboardRead::Owner::present; }));
    EXPECT_EQ(ownerNow(), ClipboardRead::Owner::vanished);
}

// What Scrivlet itself put there is known as its own, even when the reader
// finds it where another application's copy was expected.
TEST(ClipboardReaderX11, OurOwnCopyIsKnownAsOurs)
{
    X11ClipboardReader reader;
    Owner other({QStringLiteral("theirs")});
    EXPECT_FALSE(readClipboard(reader).read->ownWrite);
    auto *data = new QMimeData;
    data->setText(QStringLiteral("ours"));
    QGuiApplication::clipboard()->setMimeData(data);
    const Outcome outcome = readClipboard(reader);
    EXPECT_TRUE(outcome.read->ownWrite);
    EXPECT_EQ(outcome.text(), "ours");
    QGuiApplication::clipboard()->clear();
}

} // namespace
} // namespace scrivlet
