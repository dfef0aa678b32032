// SPDX-License-Identifier: GPL-3.0-or-later
// Kills a process that works on a history at random moments, over and over on
// the same folder, and checks after each kill that what it left is whole.
#include "core/history/ClipStore.h"
#include "core/crypto/Crypto.h"
#include "core/history/ModelContainer.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <poll.h>
#include <random>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace scrivlet {
namespace {

constexpr char kKeyHex[] = "5c1b0e7a93d24f68a1c0b7e2f9d35a4c6e8b0d2f4a6c8e0b2d4f6a8c0e2b4d6f";

constexpr int kRounds = 300;

// A guard against a child that hangs, not a measure of speed.
constexpr int kReadyTimeoutMs = 120'000;

// Far enough ahead that every file left by the children is past the grace.
class FutureClock : public Clock
{
public:
    double now() const override { return Clock::system().now() + 3600; }
};

class Child
{
public:
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child()
    {
        if (m_pid > 0)
            (void)killAndReap();
        if (m_output >= 0)
            ::close(m_output);
    }

    static std::unique_ptr<Child> start(const QString &folder, std::uint64_t seed)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return nullptr;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const QByteArray path = CRASH_WRITER_PATH;
        const QByteArray folderArg = QFile::encodeName(folder);
        const QByteArray seedArg = QByteArray::number(seed);
        char *argv[]
            = {const_cast<char *>(path.constData()), const_cast<char *>(folderArg.constData()),
                const_cast<char *>(kKeyHex), const_cast<char *>(seedArg.constData()), nullptr};
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            ::close(fds[0]);
            return nullptr;
        }
        return std::unique_ptr<Child>(new Child(pid, fds[0]));
    }

    // False when the child ends or stays silent instead.
    bool waitUntilReady()
    {
        QByteArray seen;
        while (!seen.contains("ready\n")) {
            pollfd entry {m_output, POLLIN, 0};
            if (::poll(&entry, 1, kReadyTimeoutMs) <= 0)
                return false;
            char buffer[64];
            const ssize_t got = ::read(m_output, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            seen.append(buffer, got);
        }
        return true;
    }

    // The wait status.
    int killAndReap()
    {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
        m_pid = -1;
        return status;
    }

private:
    Child(pid_t pid, int output)
        : m_pid(pid)
        , m_output(output)
    { }

    pid_t m_pid;
    int m_output;
};

std::string integrityCheck(const QString &file)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return "cannot open";
    }
    std::string result;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            result += (result.empty() ? "" : "\n")
                + std::string(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    } else {
        result = sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

std::optional<QByteArray> fileContents(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

class CrashConsistencyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        Crypto::setShared(Crypto(SecretBytes::fromByteArray(QByteArray::fromHex(kKeyHex))));
        m_hashKey = ClipStore::hashKeyFor(Crypto::shared()->key());
    }
    void TearDown() override { Crypto::setShared(std::nullopt); }

    QString folder() const { return m_dir.path() + QStringLiteral("/Scrivlet"); }
    QString imagesFolder() const { return folder() + QStringLiteral("/images"); }

    void checkRecord(const ClipItem &item, const ImageStore &images)
    {
        SCOPED_TRACE(qPrintable(
            QStringLiteral("record seq %1, kind %2").arg(item.seq()).arg(item.kindRaw())));
        if (item.kind() == ClipKind::image) {
            ASSERT_TRUE(item.imageFileRef());
            const auto raw = fileContents(imagesFolder() + QLatin1Char('/') + *item.imageFileRef());
            ASSERT_TRUE(raw) << "the image file of a stored record is missing";
            const std::optional<QByteArray> opened = Crypto::shared()->open(*raw);
            ASSERT_TRUE(opened) << "the image file does not open with the key";
            EXPECT_EQ(opened->size(), item.byteSize());
            EXPECT_EQ(images.read(*item.imageFileRef()), opened);
            EXPECT_EQ(
                ClipStore::contentHash(ClipContent::image(*opened), m_hashKey), item.contentHash());
            ++m_imagesSeen;
        } else {
            EXPECT_FALSE(item.imageFileRef());
            const QString text = item.text();
            if (item.byteSize() > 0) {
                EXPECT_FALSE(text.isEmpty()) << "the text does not open with the key";
            }
            EXPECT_EQ(text.toUtf8().size(), item.byteSize());
            EXPECT_EQ(
                ClipStore::contentHash(ClipContent::text(text), m_hashKey), item.contentHash());
            ++m_textsSeen;
        }
    }

    void checkHistory()
    {
        auto opened = ModelContainer::open(folder());
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        ModelContainer &container = *opened.value();
        EXPECT_EQ(integrityCheck(container.filePath()), "ok");

        auto all = container.mainContext().fetch();
        ASSERT_TRUE(all.ok()) << all.error().toStdString();
        const ImageStore images(imagesFolder(), Crypto::shared());
        QSet<QString> named;
        std::set<qint64> seqs;
        QSet<QString> hashes;
        for (const ClipItemPtr &item : all.value()) {
            checkRecord(*item, images);
            if (item->imageFileRef())
                named.insert(*item->imageFileRef());
            EXPECT_TRUE(seqs.insert(item->seq()).second) << "seq " << item->seq() << " repeated";
            // The writer's history stays far below the de-duplication window,
            // so a repeat means a removal and its replacement were split.
            EXPECT_FALSE(hashes.contains(item->contentHash()))
                << "content recorded twice, seq " << item->seq();
            hashes.insert(item->contentHash());
        }

        const FutureClock later;
        const ClipStore sweeping(
            container.mainContext(), ImageStore(imagesFolder(), Crypto::shared()), later);
        const QStringList left
            = QDir(imagesFolder())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : left)
            EXPECT_TRUE(named.contains(name)) << "left behind: " << name.toStdString();
    }

    QTemporaryDir m_dir;
    SecretBytes m_hashKey;
    int m_textsSeen = 0;
    int m_imagesSeen = 0;
};

TEST_F(CrashConsistencyTest, HistoryIsWholeAfterEveryKill)
{
    const std::uint64_t baseSeed = std::random_device {}();
    std::mt19937_64 random(baseSeed);
    const auto started = std::chrono::steady_clock::now();

    int round = 0;
    for (; round < kRounds && !HasFailure(); ++round) {
        const std::uint64_t seed = baseSeed + std::uint64_t(round);
        SCOPED_TRACE(testing::Message() << "round " << round << ", writer seed " << seed);
        const std::unique_ptr<Child> child = Child::start(folder(), seed);
        ASSERT_TRUE(child) << std::strerror(errno);
        // Some kills land while the store opens, most while it works.
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 30)(random)));
        } else {
            ASSERT_TRUE(child->waitUntilReady()) << "the writer did not open the history";
            std::this_thread::sleep_for(
                std::chrono::milliseconds(std::uniform_int_distribution<int>(5, 60)(random)));
        }
        const int status = child->killAndReap();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended on its own, status " << status;
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
