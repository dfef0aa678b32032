// SPDX-License-Identifier: GPL-3.0-or-later
// Kills a process that works on a history at random moments, over and over on
// the same folder, and checks after each kill that what it left is whole.
#include "core/history/Sqlite.h"
#include "support/TestHistory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <set>
#include <thread>

namespace scrivlet {
namespace {

constexpr unsigned char kKeyFill = 0x5c;
constexpr int kRounds = 300;
// A guard against a writer that hangs, not a measure of speed.
constexpr int kReadyTimeoutMs = 120'000;

// False when it ends or stays silent instead.
bool waitUntilReady(QProcess &writer)
{
    QByteArray seen;
    while (!seen.contains("ready\n")) {
        if (!writer.waitForReadyRead(kReadyTimeoutMs))
            return false;
        seen += writer.readAllStandardOutput();
    }
    return true;
}

std::string integrityCheck(const QString &file)
{
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const sqlite::Database db(raw);
    sqlite::Statement check(raw, "PRAGMA integrity_check");
    QStringList lines;
    while (check.isValid() && check.step() == SQLITE_ROW)
        lines.append(check.text(0));
    return (check.isValid() ? lines.join(QLatin1Char('\n')) : sqlite::lastError(raw)).toStdString();
}

class CrashConsistencyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The first writer makes the file, as at a first launch.
        history.close();
        ASSERT_TRUE(QFile::remove(history.databaseFile()));
    }

    void checkRecord(const ClipItem &item)
    {
        SCOPED_TRACE(qPrintable(
            QStringLiteral("record seq %1, kind %2").arg(item.seq()).arg(item.kindRaw())));
        const SecretBytes hashKey = ClipStore::hashKeyFor(Crypto::shared()->key());
        if (item.kind() == ClipKind::image) {
            ASSERT_TRUE(item.imageFileRef());
            QFile file(history.imagesFolder() + QLatin1Char('/') + *item.imageFileRef());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly))
                << "the image file of a stored record is missing";
            const std::optional<QByteArray> opened = Crypto::shared()->open(file.readAll());
            ASSERT_TRUE(opened) << "the image file does not open with the key";
            EXPECT_EQ(opened->size(), item.byteSize());
            EXPECT_EQ(history.images().read(*item.imageFileRef()), opened);
            EXPECT_EQ(
                ClipStore::contentHash(ClipContent::image(*opened), hashKey), item.contentHash());
            ++m_imagesSeen;
        } else {
            EXPECT_FALSE(item.imageFileRef());
            const QString text = item.text();
            if (item.byteSize() > 0) {
                EXPECT_FALSE(text.isEmpty()) << "the text does not open with the key";
            }
            EXPECT_EQ(text.toUtf8().size(), item.byteSize());
            EXPECT_EQ(ClipStore::contentHash(ClipContent::text(text), hashKey), item.contentHash());
            ++m_textsSeen;
        }
    }

    void checkHistory()
    {
        // Opening sweeps the image folder: far enough ahead that every file
        // the writers left is past the grace.
        history.clock.time = double(QDateTime::currentSecsSinceEpoch()) + 3600;
        ASSERT_NO_THROW(history.reopen());
        EXPECT_EQ(integrityCheck(history.databaseFile()), "ok");

        auto all = history.container().mainContext().fetch();
        ASSERT_TRUE(all.ok()) << all.error().toStdString();
        QSet<QString> named;
        std::set<qint64> seqs;
        QSet<QString> hashes;
        for (const ClipItemPtr &item : all.value()) {
            checkRecord(*item);
            if (item->imageFileRef())
                named.insert(*item->imageFileRef());
            EXPECT_TRUE(seqs.insert(item->seq()).second) << "seq " << item->seq() << " repeated";
            // The writer's history stays far below the de-duplication window,
            // so a repeat means a removal and its replacement were split.
            EXPECT_FALSE(hashes.contains(item->contentHash()))
                << "content recorded twice, seq " << item->seq();
            hashes.insert(item->contentHash());
        }
        const QStringList left
            = QDir(history.imagesFolder())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : left)
            EXPECT_TRUE(named.contains(name)) << "left behind: " << name.toStdString();
        history.close(); // the next writer has the files to itself
    }

    testing::TestHistory history {kKeyFill};
    int m_textsSeen = 0;
    int m_imagesSeen = 0;
};

TEST_F(CrashConsistencyTest, HistoryIsWholeAfterEveryKill)
{
    const std::uint64_t baseSeed = std::random_device {}();
    std::mt19937_64 random(baseSeed);
    const auto milliseconds = [&random](int low, int high) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(low, high)(random));
    };
    const auto started = std::chrono::steady_clock::now();

    int round = 0;
    for (; round < kRounds && !HasFailure(); ++round) {
        const std::uint64_t seed = baseSeed + std::uint64_t(round);
        SCOPED_TRACE(::testing::Message() << "round " << round << ", writer seed " << seed);
        // Killed at the latest when it goes out of scope.
        QProcess writer;
        writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        writer.start(CRASH_WRITER_PATH,
            {history.folder(), QByteArray(32, char(kKeyFill)).toHex(), QString::number(seed)});
        ASSERT_TRUE(writer.waitForStarted());
        // The kill comes at a random moment: now and then while the history
        // opens, mostly while the writer works on it.
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
            std::this_thread::sleep_for(milliseconds(0, 30));
        } else {
            ASSERT_TRUE(waitUntilReady(writer)) << "the writer did not open the history";
            std::this_thread::sleep_for(milliseconds(5, 60));
        }
        ASSERT_TRUE(writer.state() == QProcess::Running && !writer.waitForFinished(0))
            << "the writer ended on its own";
        writer.kill();
        writer.waitForFinished(-1);
        checkHistory();
    }

    // Without these the rounds would have checked nothing.
    EXPECT_GT(m_textsSeen, 0);
    EXPECT_GT(m_imagesSeen, 0);
    const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
    std::cout << round << " rounds in " << elapsed.count() << " s; " << m_textsSeen << " text and "
              << m_imagesSeen << " image records checked\n";
}

} // namespace
} // namespace scrivlet
