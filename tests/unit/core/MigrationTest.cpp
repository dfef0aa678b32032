// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSql.h"
#include "support/TestHistory.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::runSql;

int userVersion(const QString &file)
{
    sqlite3 *db = nullptr;
    int version = -1;
    if (sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK) {
        sqlite3_exec(
            db, "PRAGMA user_version",
            [](void *out, int, char **values, char **) {
                *static_cast<int *>(out) = std::atoi(values[0]);
                return 0;
            },
            &version, nullptr);
    }
    sqlite3_close(db);
    return version;
}

// A history as an earlier version left it: payloads in the clear under the
// attributes "text" and "richData", ids written in any case, columns missing
// and a hash left empty.
class MigrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        history.close();
        ASSERT_TRUE(QFile::remove(history.databaseFile()));
        runSql(history.databaseFile(),
            "CREATE TABLE ClipItem (id TEXT PRIMARY KEY, createdAt REAL, seq INTEGER, "
            "kindRaw TEXT, text TEXT, richData BLOB, contentHash TEXT, "
            "sourceAppBundleID TEXT, isPinned INTEGER, pinnedAt REAL, byteSize INTEGER);"
            "INSERT INTO ClipItem VALUES ('aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeee1', 10, 1, "
            "'richText', 'bonjour', x'7B5C72746631207D', 'oldhash', 'org.old.App', 1, 20, 7);"
            "INSERT INTO ClipItem VALUES ('Aaaaaaaa-Bbbb-4ccc-8ddd-eeeeeeeeeee2', 11, 2, 'text', "
            "'plain only', NULL, 'oldhash2', NULL, 0, NULL, 10);"
            "INSERT INTO ClipItem VALUES ('AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEE3', 12, 3, 'text', "
            "'', NULL, NULL, NULL, 0, NULL, 0);");
    }

    // Opens the history as launch does; its records, oldest first.
    std::vector<ClipItemPtr> open()
    {
        history.reopen();
        auto items = history.store().recentItems(100);
        std::sort(items.begin(), items.end(),
            [](const auto &a, const auto &b) { return a->seq() < b->seq(); });
        return items;
    }

    testing::TestHistory history {3};
};

TEST_F(MigrationTest, OpeningSealsEveryPlaintextPayloadOnceAndChangesNothingElse)
{
    const auto items = open();
    ASSERT_EQ(items.size(), 3u);
    const ClipRecord &rich = items[0]->record();
    EXPECT_EQ(items[0]->text(), QStringLiteral("bonjour"));
    EXPECT_EQ(items[0]->richData().value_or(QByteArray()), QByteArray("{\\rtf1 }"));
    EXPECT_FALSE(rich.legacyText || rich.legacyRich);
    EXPECT_EQ(rich.sourceAppBundleID, QStringLiteral("org.old.App"));
    EXPECT_TRUE(rich.isPinned);
    EXPECT_EQ(rich.pinnedAt, 20.0);
    EXPECT_EQ(rich.seq, 1);
    EXPECT_EQ(rich.byteSize, 7);
    EXPECT_EQ(rich.contentHash,
        ClipStore::contentHash(
            ClipContent::richText({}, "{\\rtf1 }"), ClipStore::hashKeyFor(testing::testKey(3))))
        << "the old unkeyed hash is replaced by a keyed one";
    EXPECT_EQ(items[1]->text(), QStringLiteral("plain only"));
    EXPECT_FALSE(items[1]->record().richCipher.has_value());
    EXPECT_EQ(items[2]->record().textCipher.size(), 28);

    // Nothing plain is left in the file.
    history.close();
    runSql(history.databaseFile(), "PRAGMA wal_checkpoint(TRUNCATE)");
    QFile raw(history.databaseFile());
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    EXPECT_FALSE(bytes.contains("bonjour"));
    EXPECT_FALSE(bytes.contains("plain only"));

    const auto again = open();
    EXPECT_EQ(again[1]->textCipher(), items[1]->textCipher()) << "sealed once, not again";
    EXPECT_FALSE(history.container().mainContext().hasChanges());
    EXPECT_EQ(QFileInfo(history.databaseFile() + QStringLiteral("-wal")).size(), 0)
        << "nothing was written";
}

TEST_F(MigrationTest, WithoutACipherThePlaintextIsKeptForLater)
{
    Crypto::setShared(std::nullopt);
    const auto items = open();
    EXPECT_EQ(items[0]->legacyText(), QStringLiteral("bonjour"));
    EXPECT_EQ(items[0]->legacyRich(), QByteArray("{\\rtf1 }"));

    Crypto::setShared(Crypto(testing::testKey(3)));
    EXPECT_EQ(open()[0]->text(), QStringLiteral("bonjour"));
}

// A history as the version before HTML left it: every record keeps its
// fields and its hash, which new copies of the same content still match.
TEST(SchemaUpgrade, AHistoryWithoutHtmlGainsTheColumnAndKeepsItsRecordsAndHashes)
{
    testing::TestHistory history;
    const ClipContent rtf = ClipContent::richText(QStringLiteral("Gras"), "{\\rtf1 {\\b Gras}}");
    history.record(ClipContent::text(QStringLiteral("alpha")));
    history.record(rtf);
    history.record(ClipContent::text(QStringLiteral("beta")));
    std::vector<ClipRecord> before;
    for (const ClipItemPtr &item : history.store().recentItems(10))
        before.push_back(item->record());
    history.close();
    runSql(history.databaseFile(),
        "ALTER TABLE ClipItem DROP COLUMN htmlCipher; PRAGMA user_version = 1;");

    history.reopen();
    const auto items = history.store().recentItems(10);
    ASSERT_EQ(items.size(), before.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ClipRecord &r = items[i]->record();
        EXPECT_EQ(std::tie(r.id, r.seq, r.kindRaw, r.textCipher, r.richCipher, r.contentHash,
                      r.byteSize, r.createdAt),
            std::tie(before[i].id, before[i].seq, before[i].kindRaw, before[i].textCipher,
                before[i].richCipher, before[i].contentHash, before[i].byteSize,
                before[i].createdAt));
        EXPECT_FALSE(r.htmlCipher.has_value());
    }
    EXPECT_EQ(userVersion(history.databaseFile()), 2);

    history.record(rtf);
    history.record(ClipContent::text(QStringLiteral("alpha")));
    const auto after = history.store().recentItems(10);
    ASSERT_EQ(after.size(), 3u) << "the same copies again are the stored entries, moved up";
    EXPECT_EQ(after[0]->text(), QStringLiteral("alpha"));
    EXPECT_EQ(after[1]->richData(), QByteArray("{\\rtf1 {\\b Gras}}"));

    history.record(ClipContent::richText(QStringLiteral("Gras"), std::nullopt, "<b>Gras</b>"));
    history.reopen();
    EXPECT_EQ(history.store().recentItems(1).at(0)->html(), QByteArray("<b>Gras</b>"));
}

} // namespace
} // namespace scrivlet
