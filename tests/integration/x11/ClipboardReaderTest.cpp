// SPDX-License-Identifier: GPL-3.0-or-later
// The clipboard reader against owners that misbehave, on the test display:
// each costs the reader's thread a deadline at most, never the main thread,
// and the next well-behaved owner is read as usual.
#include "platform/x11/X11ClipboardReader.h"
#include "support/WaitFor.h"

#include <QElapsedTimer>
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
        EXPECT_EQ(process.readAll().trimmed(), "owning");
    }
    ~Owner()
    {
        process.kill();
        process.waitForFinished();
    }
};

struct Outcome
{
    std::shared_ptr<MimeSnapshot> snapshot;
    QString why;
    qint64 longestStallMs = 0;
};

// Reads once while measuring how long the main thread ever went unserved.
Outcome readClipboard(X11ClipboardReader &reader)
{
    Outcome outcome;
    bool done = false;
    QElapsedTimer sinceTick;
    sinceTick.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout,
        [&] { outcome.longestStallMs = std::max(outcome.longestStallMs, sinceTick.restart()); });
    tick.start(5);
    reader.read({QStringLiteral("x-kde-passwordManagerHint"), QStringLiteral("text/plain")},
        [&](std::shared_ptr<MimeSnapshot> snapshot, const QString &why) {
            outcome.snapshot = std::move(snapshot);
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
                EXPECT_FALSE(outcome.snapshot);
                EXPECT_FALSE(outcome.why.isEmpty());
            } else {
                ASSERT_TRUE(outcome.snapshot) << outcome.why.toStdString();
                EXPECT_EQ(outcome.snapshot->data(QStringLiteral("text/plain")).value_or("").size(),
                    test.expectedSize);
            }
        }
#ifndef SCRIVLET_SANITIZED // AddressSanitizer holds freed memory back
        EXPECT_LT(residentKilobytes() - before, 64 * 1024) << "memory beyond the cap";
#else
        (void)before;
#endif
        // The next normal copy is read.
        Owner next({QStringLiteral("suivant")});
        const Outcome outcome = readClipboard(reader);
        ASSERT_TRUE(outcome.snapshot) << outcome.why.toStdString();
        EXPECT_EQ(outcome.snapshot->string(QStringLiteral("text/plain")), "suivant");
    }
}

TEST(ClipboardReaderX11, WhatTheOwnerOffersIsSeen)
{
    X11ClipboardReader reader;
    Owner owner({QStringLiteral("bonjour"), QStringLiteral("--targets"), QStringLiteral("3")});
    const Outcome outcome = readClipboard(reader);
    ASSERT_TRUE(outcome.snapshot);
    EXPECT_TRUE(outcome.snapshot->hasType(QStringLiteral("application/x-junk-2")));
    EXPECT_TRUE(outcome.snapshot->hasType(QStringLiteral("UTF8_STRING")));
    EXPECT_FALSE(outcome.snapshot->hasType(QStringLiteral("x-kde-passwordManagerHint")));
}

} // namespace
} // namespace scrivlet
