// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ModelContainer.h"

#include "TestSql.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace scrivlet {
namespace {

using testing::runSql;

ClipItemPtr makeItem(qint64 seq, const QString &kind = QStringLiteral("text"))
{
    ClipRecord r;
    r.id = QUuid::createUuid();
    r.createdAt = 1700000000.25 + double(seq);
    r.seq = seq;
    r.kindRaw = kind;
    r.textCipher = QByteArray(28 + int(seq), char(seq));
    r.contentHash = QString(64, QLatin1Char('a'));
    r.byteSize = seq * 10;
    return ClipItem::create(r);
}

std::unique_ptr<ModelContainer> openOrFail(const QString &folder)
{
    auto opened = ModelContainer::open(folder);
    EXPECT_TRUE(opened.ok()) << opened.error().toStdString();
    return opened.ok() ? std::move(opened).value() : nullptr;
}

std::vector<qint64> seqs(const std::vector<ClipItemPtr> &items)
{
    std::vector<qint64> out;
    for (const auto &item : items)
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
    QTemporaryDir m_dir;
    QString folder() const { return m_dir.path() + QStringLiteral("/data/Scrivlet"); }
    QString file() const { return folder() + QStringLiteral("/history.sqlite"); }
};

TEST_F(ModelContainerTest, EveryFieldSurvivesReopening)
{
    ClipRecord full;
    full.id = QUuid::createUuid();
    full.createdAt = 1733567890.123456;
    full.seq = 41;
    full.kindRaw = QStringLiteral("richText");
    full.textCipher = QByteArray("\x00\x01sealed", 8);
    full.richCipher = QByteArray(); // empty but present
    full.legacyText = QStringLiteral("ancien texte");
    full.legacyRich = QByteArray("{\\rtf1}");
    full.contentHash
        = QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
    full.imageFileRef = QStringLiteral("A1B2.png");
    full.sourceAppBundleID = QStringLiteral("org.gnome.TextEditor");
    full.isPinned = true;
    full.pinnedAt = 1733567999.5;
    full.byteSize = 1234567890123;

    ClipRecord sparse;
    sparse.id = QUuid::createUuid();
    sparse.seq = 2;
    sparse.kindRaw = QStringLiteral("text");

    {
        auto container = openOrFail(folder());
        container->mainContext().insert(ClipItem::create(full));
        container->mainContext().insert(ClipItem::create(sparse));
        ASSERT_TRUE(container->mainContext().save().ok());
    }
    auto container = openOrFail(folder());
    auto fetched = container->mainContext().fetch(FetchDescriptor::newestFirst());
    ASSERT_TRUE(fetched.ok());
    ASSERT_EQ(fetched.value().size(), 2u);
    const ClipRecord &a = fetched.value()[0]->record();
    EXPECT_EQ(a.id, full.id);
    EXPECT_DOUBLE_EQ(a.createdAt, full.createdAt);
    EXPECT_EQ(a.seq, full.seq);
    EXPECT_EQ(a.kindRaw, full.kindRaw);
    EXPECT_EQ(a.textCipher, full.textCipher);
    EXPECT_EQ(a.richCipher, full.richCipher);
    EXPECT_EQ(a.legacyText, full.legacyText);
    EXPECT_EQ(a.legacyRich, full.legacyRich);
    EXPECT_EQ(a.contentHash, full.contentHash);
    EXPECT_EQ(a.imageFileRef, full.imageFileRef);
    EXPECT_EQ(a.sourceAppBundleID, full.sourceAppBundleID);
    EXPECT_EQ(a.isPinned, full.isPinned);
    EXPECT_EQ(a.pinnedAt, full.pinnedAt);
    EXPECT_EQ(a.byteSize, full.byteSize);

    const ClipRecord &b = fetched.value()[1]->record();
    EXPECT_TRUE(b.textCipher.isEmpty());
    EXPECT_FALSE(b.richCipher.has_value());
    EXPECT_FALSE(b.legacyText.has_value());
    EXPECT_FALSE(b.legacyRich.has_value());
    EXPECT_FALSE(b.imageFileRef.has_value());
    EXPECT_FALSE(b.sourceAppBundleID.has_value());
    EXPECT_FALSE(b.pinnedAt.has_value());
}

TEST_F(ModelContainerTest, FetchingTwiceGivesTheSameObjects)
{
    auto container = openOrFail(folder());
    ModelContext &context = container->mainContext();
    const ClipItemPtr inserted = makeItem(1);
    context.insert(inserted);
    ASSERT_TRUE(context.save().ok());

    auto first = context.fetch();
    auto second = context.fetch(FetchDescriptor::newestFirst(1));
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_EQ(first.value().at(0), inserted);
    EXPECT_EQ(second.value().at(0), inserted);
}

TEST_F(ModelContainerTest, FetchSortsLimitsAndSeesPendingChanges)
{
    auto container = openOrFail(folder());
    ModelContext &context = container->mainContext();
    std::vector<ClipItemPtr> items;
    for (qint64 seq : {3, 1, 5, 2, 4}) {
        items.push_back(makeItem(seq));
        context.insert(items.back());
    }
    const FetchDescriptor newestThree = FetchDescriptor::newestFirst(3);
    EXPECT_EQ(seqs(context.fetch(newestThree).value()), (std::vector<qint64> {5, 4, 3}));
    ASSERT_TRUE(context.save().ok());

    context.remove(items[2]); // seq 5, not yet saved
    context.insert(makeItem(6));
    EXPECT_EQ(seqs(context.fetch(newestThree).value()), (std::vector<qint64> {6, 4, 3}));
    EXPECT_EQ(context.fetch().value().size(), 5u);

    items[0]->setPinned(true, 1.0); // seq 3, unsaved
    const FetchDescriptor unpinned
        = FetchDescriptor::newestFirst(std::nullopt, FetchDescriptor::Filter::unpinned);
    EXPECT_EQ(seqs(context.fetch(unpinned).value()), (std::vector<qint64> {6, 4, 2, 1}));
    ASSERT_TRUE(context.save().ok());
    EXPECT_FALSE(context.hasChanges());
    EXPECT_EQ(seqs(context.fetch(unpinned).value()), (std::vector<qint64> {6, 4, 2, 1}));
}

TEST_F(ModelContainerTest, FailedSaveChangesNothingAndKeepsChangesPending)
{
    auto container = openOrFail(folder());
    ModelContext &context = container->mainContext();
    const ClipItemPtr kept = makeItem(1);
    context.insert(kept);
    ASSERT_TRUE(context.save().ok());

    runSql(file(),
        "CREATE TRIGGER refuse BEFORE INSERT ON ClipItem WHEN NEW.kindRaw = 'image' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    kept->setPinned(true, 5.0);
    context.insert(makeItem(2));
    context.insert(makeItem(3, QStringLiteral("image")));
    EXPECT_FALSE(context.save().ok());

    {
        auto other = ModelContainer::open(folder());
        ASSERT_TRUE(other.ok());
        auto stored = other.value()->mainContext().fetch();
        ASSERT_EQ(stored.value().size(), 1u);
        EXPECT_FALSE(stored.value()[0]->isPinned()) << "a failed save must roll back every change";
    }

    runSql(file(), "DROP TRIGGER refuse");
    ASSERT_TRUE(context.save().ok());
    auto reopened = openOrFail(folder());
    auto stored = reopened->mainContext().fetch(FetchDescriptor::newestFirst());
    EXPECT_EQ(seqs(stored.value()), (std::vector<qint64> {3, 2, 1}));
    EXPECT_TRUE(stored.value()[2]->isPinned());
}

TEST_F(ModelContainerTest, FilesArePrivateWhateverTheUmask)
{
    const mode_t previous = ::umask(022);
    {
        auto container = openOrFail(folder());
        container->mainContext().insert(makeItem(1));
        ASSERT_TRUE(container->mainContext().save().ok());
        EXPECT_EQ(mode(folder()), 0700);
        EXPECT_EQ(mode(file()), 0600);
        EXPECT_EQ(mode(file() + QStringLiteral("-wal")), 0600);
    }
    // An existing folder left open to others is tightened.
    ::chmod(QFile::encodeName(folder()).constData(), 0755);
    EXPECT_TRUE(ModelContainer::open(folder()).ok());
    EXPECT_EQ(mode(folder()), 0700);
    ::umask(previous);
}

TEST_F(ModelContainerTest, UnopenableHistoriesAreLeftUntouched)
{
    const struct
    {
        const char *name;
        QByteArray bytes; // empty: made by SQL below
        const char *sql;
        ModelContainer::Failure failure;
    } cases[] = {
        {"garbage", QByteArray(4096, '\x5a'), nullptr, ModelContainer::Failure::damaged},
        {"newer version", QByteArray(), "PRAGMA user_version = 2; CREATE TABLE ClipItem (id TEXT);",
            ModelContainer::Failure::newer},
        {"version 1 without the record table", QByteArray(), "PRAGMA user_version = 1;",
            ModelContainer::Failure::damaged},
    };
    for (const auto &c : cases) {
        QDir(folder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder()));
        if (c.sql) {
            runSql(file(), c.sql);
        } else {
            QFile out(file());
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(c.bytes);
        }
        const QByteArray before = contents(file());
        ModelContainer::OpenError why {};
        EXPECT_FALSE(ModelContainer::open(folder(), &why).ok()) << c.name;
        EXPECT_EQ(why.failure, c.failure) << c.name;
        EXPECT_FALSE(why.message.isEmpty()) << c.name;
        EXPECT_EQ(contents(file()), before) << c.name;
        EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).size() == 1) << c.name;
    }
}

TEST_F(ModelContainerTest, AFileWhereTheFolderShouldBeFailsClearly)
{
    ASSERT_TRUE(QDir().mkpath(m_dir.path() + QStringLiteral("/data")));
    QFile blocker(folder());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder");
    blocker.close();

    ModelContainer::OpenError why {};
    EXPECT_FALSE(ModelContainer::open(folder(), &why).ok());
    EXPECT_EQ(why.failure, ModelContainer::Failure::folder);
    EXPECT_EQ(contents(folder()), QByteArray("not a folder"));
}

TEST_F(ModelContainerTest, AnOlderTableGainsItsMissingColumnsAndKeepsItsValues)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    runSql(file(),
        "CREATE TABLE ClipItem (id TEXT PRIMARY KEY, createdAt REAL, seq INTEGER, kindRaw TEXT, "
        "text TEXT, richData BLOB, contentHash TEXT, isPinned INTEGER, byteSize INTEGER);"
        "INSERT INTO ClipItem VALUES ('6F9619FF-8B86-D011-B42D-00C04FC964FF', 1.5, 7, 'richText', "
        "'bonjour', x'7B5C727466317D', NULL, 0, 7);");

    auto container = openOrFail(folder());
    auto fetched = container->mainContext().fetch();
    ASSERT_TRUE(fetched.ok());
    ASSERT_EQ(fetched.value().size(), 1u);
    const ClipRecord &r = fetched.value()[0]->record();
    EXPECT_EQ(r.legacyText, QStringLiteral("bonjour"));
    EXPECT_EQ(r.legacyRich, QByteArray("{\\rtf1}"));
    EXPECT_TRUE(r.textCipher.isEmpty());
    EXPECT_EQ(r.contentHash, QString());
    EXPECT_EQ(r.seq, 7);
}

TEST_F(ModelContainerTest, MetaValuesPersist)
{
    {
        auto container = openOrFail(folder());
        EXPECT_FALSE(container->meta(QStringLiteral("keyCheck")).value().has_value());
        ASSERT_TRUE(
            container->setMeta({{QStringLiteral("keyCheck"), QByteArray("\x00\xff", 2)}}).ok());
    }
    auto container = openOrFail(folder());
    EXPECT_EQ(container->meta(QStringLiteral("keyCheck")).value(), QByteArray("\x00\xff", 2));
}

} // namespace
} // namespace scrivlet
