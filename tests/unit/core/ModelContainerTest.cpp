// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ModelContainer.h"

#include "TestSql.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace scrivlet {
namespace {

using testing::runSql;
using Seqs = std::vector<qint64>;

ClipItemPtr makeItem(qint64 seq, const char *kind = "text")
{
    ClipRecord r;
    r.id = QUuid::createUuid();
    r.seq = seq;
    r.kindRaw = QLatin1String(kind);
    r.textCipher = QByteArray(28 + int(seq), char(seq));
    return ClipItem::create(r);
}

auto fields(const ClipRecord &r)
{
    return std::tie(r.id, r.createdAt, r.seq, r.kindRaw, r.textCipher, r.richCipher, r.legacyText,
        r.legacyRich, r.contentHash, r.imageFileRef, r.sourceAppBundleID, r.isPinned, r.pinnedAt,
        r.byteSize, r.htmlCipher);
}

Seqs seqs(const Result<std::vector<ClipItemPtr>> &items)
{
    Seqs out;
    for (const auto &item : items.value())
        out.push_back(item->seq());
    return out;
}

int mode(const QString &path)
{
    struct stat info
    { };
    ::stat(QFile::encodeName(path).constData(), &info);
    return int(info.st_mode & 0777);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class ModelContainerTest : public ::testing::Test
{
protected:
    std::unique_ptr<ModelContainer> open()
    {
        auto opened = ModelContainer::open(folder());
        EXPECT_TRUE(opened.ok()) << opened.error().toStdString();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }
    QString folder() const { return m_dir.path() + QStringLiteral("/data/Scrivlet"); }
    QString file() const { return folder() + QStringLiteral("/history.sqlite"); }

    QTemporaryDir m_dir;
};

TEST_F(ModelContainerTest, EveryFieldSurvivesReopeningAndAbsentStaysAbsent)
{
    const ClipRecord full {.id = QUuid::createUuid(),
        .createdAt = 1733567890.123456,
        .seq = 41,
        .kindRaw = QStringLiteral("richText"),
        .textCipher = QByteArray("\x00\x01sealed", 8),
        .richCipher = QByteArray(),
        .legacyText = QStringLiteral("ancien texte"),
        .legacyRich = QByteArray("{\\rtf1}"),
        .contentHash = QString(64, QLatin1Char('c')),
        .imageFileRef = QStringLiteral("A1B2.png"),
        .sourceAppBundleID = QStringLiteral("org.gnome.TextEditor"),
        .isPinned = true,
        .pinnedAt = 1733567999.5,
        .byteSize = 1234567890123,
        .htmlCipher = QByteArray("\x00<b>sealed</b>", 14)};
    ClipRecord sparse = makeItem(2)->record();
    sparse.textCipher.clear();
    {
        auto container = open();
        container->mainContext().insert(ClipItem::create(full));
        container->mainContext().insert(ClipItem::create(sparse));
        ASSERT_TRUE(container->mainContext().save().ok());
    }
    auto fetched = open()->mainContext().fetch(FetchDescriptor::newestFirst());
    ASSERT_EQ(fetched.value().size(), 2u);
    EXPECT_EQ(fields(fetched.value()[0]->record()), fields(full));
    EXPECT_EQ(fields(fetched.value()[1]->record()), fields(sparse));
}

TEST_F(ModelContainerTest, FetchSortsLimitsSeesPendingChangesAndKeepsOneObjectPerRecord)
{
    auto container = open();
    ModelContext &context = container->mainContext();
    std::vector<ClipItemPtr> items;
    for (qint64 seq : {3, 1, 5, 2, 4})
        context.insert(items.emplace_back(makeItem(seq)));
    const FetchDescriptor newestThree = FetchDescriptor::newestFirst(3);
    EXPECT_EQ(seqs(context.fetch(newestThree)), (Seqs {5, 4, 3}));
    ASSERT_TRUE(context.save().ok());
    EXPECT_EQ(context.fetch(newestThree).value().at(0), items[2]);

    context.remove(items[2]); // seq 5, not yet saved
    context.insert(makeItem(6));
    EXPECT_EQ(seqs(context.fetch(newestThree)), (Seqs {6, 4, 3}));
    EXPECT_EQ(context.fetch().value().size(), 5u);

    items[0]->setPinned(true, 1.0); // seq 3, unsaved
    const auto unpinned
        = FetchDescriptor::newestFirst(std::nullopt, FetchDescriptor::Filter::unpinned);
    EXPECT_EQ(seqs(context.fetch(unpinned)), (Seqs {6, 4, 2, 1}));
    ASSERT_TRUE(context.save().ok());
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(seqs(context.fetch(unpinned)), (Seqs {6, 4, 2, 1}));
}

TEST_F(ModelContainerTest, FailedSaveChangesNothingAndKeepsChangesPending)
{
    auto container = open();
    ModelContext &context = container->mainContext();
    const ClipItemPtr kept = makeItem(1);
    context.insert(kept);
    ASSERT_TRUE(context.save().ok());

    runSql(file(),
        "CREATE TRIGGER refuse BEFORE INSERT ON ClipItem WHEN NEW.kindRaw = 'image' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    kept->setPinned(true, 5.0);
    context.insert(makeItem(2));
    context.insert(makeItem(3, "image"));
    EXPECT_FALSE(context.save().ok());
    auto stored = open()->mainContext().fetch();
    ASSERT_EQ(stored.value().size(), 1u);
    EXPECT_FALSE(stored.value()[0]->isPinned()) << "a failed save must roll back every change";

    runSql(file(), "DROP TRIGGER refuse");
    ASSERT_TRUE(context.save().ok());
    stored = open()->mainContext().fetch(FetchDescriptor::newestFirst());
    EXPECT_EQ(seqs(stored), (Seqs {3, 2, 1}));
    EXPECT_TRUE(stored.value()[2]->isPinned());
}

TEST_F(ModelContainerTest, FilesArePrivateWhateverTheUmaskAndMetaValuesPersist)
{
    const mode_t previous = ::umask(022);
    {
        auto container = open();
        EXPECT_FALSE(container->meta(QStringLiteral("keyCheck")).value().has_value());
        ASSERT_TRUE(
            container->setMeta({{QStringLiteral("keyCheck"), QByteArray("\x00\xff", 2)}}).ok());
        container->mainContext().insert(makeItem(1));
        ASSERT_TRUE(container->mainContext().save().ok());
        for (const auto &[path, expected] :
            {std::pair {folder(), 0700}, {file(), 0600}, {file() + QStringLiteral("-wal"), 0600}})
            EXPECT_EQ(mode(path), expected) << path.toStdString();
    }
    // An existing folder left open to others is tightened.
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    EXPECT_EQ(open()->meta(QStringLiteral("keyCheck")).value(), QByteArray("\x00\xff", 2));
    EXPECT_EQ(mode(folder()), 0700);
    ::umask(previous);
}

TEST_F(ModelContainerTest, UnopenableHistoriesAreLeftUntouched)
{
    using Failure = ModelContainer::Failure;
    const std::tuple<const char *, Failure> cases[] = {
        {nullptr, Failure::damaged}, // garbage
        {"PRAGMA user_version = 3; CREATE TABLE ClipItem (id TEXT);", Failure::newer},
        {"PRAGMA user_version = 2;", Failure::damaged}, // without the record table
        {"", Failure::folder}, // a file where the folder should be
    };
    for (const auto &[sql, failure] : cases) {
        SCOPED_TRACE(sql ? sql : "garbage");
        QDir(folder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder()));
        const QString written = failure == Failure::folder ? folder() : file();
        if (sql && *sql) {
            runSql(file(), sql);
        } else {
            if (failure == Failure::folder)
                QDir(folder()).removeRecursively();
            QFile out(written);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(QByteArray(4096, '\x5a'));
        }
        const QByteArray before = contents(written);
        ModelContainer::OpenError why {};
        EXPECT_FALSE(ModelContainer::open(folder(), &why).ok());
        EXPECT_EQ(why.failure, failure);
        EXPECT_FALSE(why.message.isEmpty());
        EXPECT_EQ(contents(written), before);
        EXPECT_EQ(QDir(folder()).entryList(QDir::Files).size(), failure == Failure::folder ? 0 : 1);
    }
}

} // namespace
} // namespace scrivlet
