// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ClipStore.h"

#include "TestSql.h"
#include "support/TestHistory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

ClipContent text(const char *value)
{
    return ClipContent::text(QString::fromUtf8(value));
}

class ClipStoreTest : public ::testing::Test
{
protected:
    ClipStore &store() { return m_history.store(); }
    QStringList imageFiles() const
    {
        return QDir(m_history.imagesFolder()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // The texts of the history in display order.
    std::vector<QString> texts(int limit = 1000)
    {
        std::vector<QString> out;
        for (const auto &item : store().recentItems(limit))
            out.push_back(item->text());
        return out;
    }
    ClipItemPtr first() { return store().recentItems(1000).at(0); }
    ClipItemPtr entry(const char *value)
    {
        for (const auto &item : store().recentItems(1000)) {
            if (item->text() == QString::fromUtf8(value))
                return item;
        }
        return nullptr;
    }
    // As another program would leave the history, with the store closed.
    void runSql(const char *sql)
    {
        m_history.close();
        testing::runSql(m_history.databaseFile(), sql);
        m_history.reopen();
    }
    void record(const ClipContent &content) { m_history.record(content); }

    testing::TestHistory m_history;
};

using Texts = std::vector<QString>;

TEST_F(ClipStoreTest, RecordingKeepsOneCopyOfEachContentNewestFirst)
{
    const struct
    {
        const char *name;
        std::vector<ClipContent> copies;
        Texts expected;
    } cases[] = {
        {"same text twice", {text("A"), text("A")}, {"A"}},
        {"A, B, A", {text("A"), text("B"), text("A")}, {"A", "B"}},
        {"white space only", {text(" \t\n\r "), text("\u00a0\u2003")}, {}},
        {"surrounding spaces kept", {text("  x \n")}, {"  x \n"}},
        {"text then a file list of that text",
            {text("/home/a.txt"), ClipContent::files({QStringLiteral("/home/a.txt")})},
            {"/home/a.txt"}},
        {"empty file list", {ClipContent::files({})}, {}},
        {"file list joined by line feeds",
            {ClipContent::files({QStringLiteral("/a"), QStringLiteral("/b c")})}, {"/a\n/b c"}},
        {"rich texts equal by their RTF",
            {ClipContent::richText(QStringLiteral("one"), "{\\rtf1 x}"),
                ClipContent::richText(QStringLiteral("two"), "{\\rtf1 x}"), text("C"),
                ClipContent::richText(QStringLiteral("three"), "{\\rtf1 x}")},
            {"three", "C"}},
    };
    for (const auto &c : cases) {
        store().clearAll();
        for (const ClipContent &copy : c.copies)
            record(copy);
        EXPECT_EQ(texts(), c.expected) << c.name;
    }
}

TEST_F(ClipStoreTest, ACopyOfTheFirstEntryChangesNothingWhileAnEarlierCopyIsReplaced)
{
    record(text("A"));
    const ClipItemPtr original = first();
    const QUuid id = original->id();
    const qint64 seq = original->seq();
    record(text("A"));
    EXPECT_EQ(first()->id(), id);
    EXPECT_EQ(store().nextSeq(), seq + 1) << "no sequence number is spent";

    record(text("B"));
    record(text("A"));
    const ClipItemPtr again = first();
    EXPECT_NE(again->id(), id);
    EXPECT_GT(again->seq(), seq + 1);
    EXPECT_EQ(texts(), (Texts {"A", "B"}));
}

TEST_F(ClipStoreTest, APinnedFirstEntryHidesTheRepeatFromTheFirstEntryCheck)
{
    record(text("P"));
    store().togglePin(first());
    record(text("A"));
    const QUuid firstCopy = store().recentItems(2).at(1)->id();
    record(text("A"));
    const ClipItemPtr second = store().recentItems(2).at(1);
    EXPECT_NE(second->id(), firstCopy) << "replaced by a new record each time";
    EXPECT_EQ(texts(), (Texts {"P", "A"}));

    // The pinned entry's own content, while first: nothing changes.
    const QUuid pinned = first()->id();
    record(text("P"));
    EXPECT_EQ(first()->id(), pinned);
    EXPECT_TRUE(first()->isPinned());

    // A pinned entry that is not first is replaced by a new, unpinned one.
    record(text("Q"));
    store().togglePin(store().recentItems(3).at(1)); // Q: pinned later, so now first
    record(text("P"));
    const auto items = store().recentItems(10);
    EXPECT_EQ(texts(), (Texts {"Q", "P", "A"}));
    EXPECT_FALSE(items.at(1)->isPinned());
    EXPECT_FALSE(items.at(1)->pinnedAt().has_value());
}

TEST_F(ClipStoreTest, ADuplicateOutsideTheNewest500IsNotFound)
{
    for (int i = 0; i <= 500; ++i)
        record(ClipContent::text(QStringLiteral("entry %1").arg(i)));
    record(text("entry 0"));
    int copies = 0;
    for (const auto &item : store().recentItems(1000))
        copies += item->text() == QLatin1String("entry 0");
    EXPECT_EQ(copies, 2);
}

TEST_F(ClipStoreTest, RecordsAreSealedWithTheirSizesAndSource)
{
    record(ClipContent::richText(QStringLiteral("été"), "{\\rtf1 \\'e9t\\'e9}"));
    const ClipItemPtr rich = first();
    EXPECT_EQ(rich->kind(), ClipKind::richText);
    EXPECT_EQ(rich->byteSize(), 5) << "UTF-8 bytes of the plain text";
    EXPECT_EQ(rich->richData().value_or(QByteArray()), QByteArray("{\\rtf1 \\'e9t\\'e9}"));
    EXPECT_EQ(rich->sourceAppBundleID(), QStringLiteral("org.example.Editor"));
    EXPECT_DOUBLE_EQ(rich->createdAt(), m_history.clock.time);
    EXPECT_FALSE(rich->isPinned());

    record(ClipContent::image(QByteArray()));
    const ClipItemPtr empty = first();
    EXPECT_EQ(empty->kind(), ClipKind::image);
    EXPECT_EQ(empty->byteSize(), 0);
    EXPECT_EQ(empty->textCipher().size(), 28);
    EXPECT_EQ(store().imageStore().read(*empty->imageFileRef()), QByteArray());
}

TEST_F(ClipStoreTest, TheContentHashIsKeyed)
{
    const SecretBytes hashKey = ClipStore::hashKeyFor(testing::testKey(0x11));
    const auto hash = ClipStore::contentHash(text("1234"), hashKey);
    ASSERT_TRUE(hash.has_value());
    EXPECT_EQ(hash->size(), 64);
    EXPECT_EQ(*hash, hash->toLower());
    const QString unkeyed
        = QString::fromLatin1(QCryptographicHash::hash("1234", QCryptographicHash::Sha256).toHex());
    EXPECT_NE(*hash, unkeyed);
    EXPECT_NE(
        *hash, ClipStore::contentHash(text("1234"), ClipStore::hashKeyFor(testing::testKey(0x12))));
    EXPECT_EQ(*hash, ClipStore::contentHash(ClipContent::files({QStringLiteral("1234")}), hashKey));

    record(text("1234"));
    EXPECT_EQ(first()->contentHash(), *hash);
}

TEST_F(ClipStoreTest, NothingIsRecordedWithoutAKey)
{
    Crypto::setShared(std::nullopt);
    m_history.reopen();
    record(text("secret"));
    record(ClipContent::image("png"));
    EXPECT_TRUE(store().recentItems(10).empty());
    EXPECT_TRUE(imageFiles().isEmpty());
}

TEST_F(ClipStoreTest, ImagesReplacedDeletedAndClearedTakeTheirFilesWithThem)
{
    record(ClipContent::image("image one"));
    const QString firstFile = *first()->imageFileRef();
    EXPECT_EQ(imageFiles(), QStringList {firstFile});
    QFile sealed(m_history.imagesFolder() + QLatin1Char('/') + firstFile);
    ASSERT_TRUE(sealed.open(QIODevice::ReadOnly));
    EXPECT_EQ(sealed.readAll().size(), 9 + 28);

    record(text("between"));
    record(ClipContent::image("image one"));
    const QString secondFile = *first()->imageFileRef();
    EXPECT_NE(secondFile, firstFile);
    EXPECT_EQ(imageFiles(), QStringList {secondFile});
    EXPECT_EQ(store().imageStore().read(secondFile), QByteArray("image one"));

    store().deleteItem(store().recentItems(2).at(1)); // the text: no file involved
    EXPECT_EQ(imageFiles(), QStringList {secondFile});
    store().deleteItem(first());
    EXPECT_TRUE(imageFiles().isEmpty());

    record(ClipContent::image("image two"));
    store().togglePin(first());
    store().clearAll();
    EXPECT_TRUE(store().recentItems(10).empty());
    EXPECT_TRUE(imageFiles().isEmpty());
}

TEST_F(ClipStoreTest, SequenceNumbersContinueAcrossRestartsAndClearing)
{
    EXPECT_EQ(store().nextSeq(), 1);
    record(text("one"));
    EXPECT_EQ(first()->seq(), 1);
    for (int i = 2; i <= 41; ++i)
        record(ClipContent::text(QString::number(i)));
    m_history.reopen();
    record(text("next"));
    EXPECT_EQ(first()->seq(), 42);
    store().clearAll();
    record(text("after clearing"));
    EXPECT_EQ(first()->seq(), 43);
}

TEST_F(ClipStoreTest, DisplayOrderPutsTheMostRecentlyPinnedFirst)
{
    for (const char *value : {"A", "B", "C", "D"})
        record(text(value));
    store().togglePin(entry("B"));
    m_history.clock.time += 1;
    store().togglePin(entry("A"));
    EXPECT_EQ(texts(), (Texts {"A", "B", "D", "C"}));
    store().togglePin(entry("A"));
    EXPECT_EQ(texts(), (Texts {"B", "D", "C", "A"}));
    EXPECT_FALSE(entry("A")->pinnedAt().has_value());

    // Equal pin times keep the newest first.
    store().togglePin(entry("C"));
    store().togglePin(entry("D"));
    EXPECT_EQ(texts(), (Texts {"D", "C", "B", "A"}));
}

TEST_F(ClipStoreTest, OnlyTheNewestRecordsTakePartInTheList)
{
    record(text("old pinned"));
    store().togglePin(first());
    for (int i = 0; i < 300; ++i)
        record(ClipContent::text(QStringLiteral("n%1").arg(i)));
    const auto listed = store().recentItems(200);
    EXPECT_EQ(listed.size(), 200u);
    EXPECT_EQ(listed.front()->text(), QStringLiteral("n299"));
    EXPECT_FALSE(listed.front()->isPinned());
}

TEST_F(ClipStoreTest, PruningByCountAndAgeSparesPinnedEntries)
{
    for (int i = 0; i < 15; ++i)
        record(ClipContent::text(QStringLiteral("e%1").arg(i)));
    for (const char *value : {"e0", "e5", "e14"})
        store().togglePin(entry(value));
    store().maxItems = 10;
    store().enforceLimits();
    const auto items = store().recentItems(100);
    ASSERT_EQ(items.size(), 13u);
    EXPECT_EQ(items.back()->text(), QStringLiteral("e3")) << "e1 and e2 are the oldest unpinned";

    // maxItems 0 removes every unpinned entry, even the one just recorded.
    store().maxItems = 0;
    record(text("fresh"));
    EXPECT_EQ(texts(), (Texts {"e14", "e5", "e0"}));
}

TEST_F(ClipStoreTest, PruningByAgeCutsStrictlyAtWholeDays)
{
    const double now = m_history.clock.time;
    m_history.clock.time = now - 365 * 86400.0;
    store().recordContent(text("pinned, a year old"), std::nullopt);
    store().togglePin(first());
    for (const auto &[value, age] :
        {std::pair {"older", 86401.0}, {"younger", 86399.0}, {"exactly a day", 86400.0}}) {
        m_history.clock.time = now - age;
        store().recordContent(text(value), std::nullopt);
    }
    m_history.clock.time = now;
    store().retentionDays = 1;
    store().enforceLimits();
    EXPECT_EQ(texts(), (Texts {"pinned, a year old", "exactly a day", "younger"}));
}

TEST_F(ClipStoreTest, UnpinnedOldEntriesGoAtTheNextPruning)
{
    store().recordContent(text("kept while pinned"), std::nullopt);
    store().togglePin(first());
    m_history.clock.time += 365 * 86400.0;
    store().retentionDays = 30;
    store().enforceLimits();
    ASSERT_EQ(texts(), (Texts {"kept while pinned"}));
    store().togglePin(first());
    EXPECT_EQ(texts().size(), 1u) << "unpinning alone does not prune";
    store().enforceLimits();
    EXPECT_TRUE(texts().empty());
}

TEST_F(ClipStoreTest, AnImageFileOutlivesItsRecordUntilTheRemovalIsSaved)
{
    record(ClipContent::image("picture"));
    const QString name = *first()->imageFileRef();
    const QString file = m_history.databaseFile();
    testing::runSql(file,
        "CREATE TRIGGER refuse BEFORE DELETE ON ClipItem BEGIN SELECT RAISE(ABORT, 'disk full'); "
        "END");
    store().deleteItem(first());
    EXPECT_EQ(imageFiles(), QStringList {name}) << "the record is still stored, so is its file";

    testing::runSql(file, "DROP TRIGGER refuse");
    record(text("next save"));
    EXPECT_TRUE(imageFiles().isEmpty());
    EXPECT_EQ(texts(), (Texts {"next save"}));
}

TEST_F(ClipStoreTest, RecordsStoredWithIdsInAnyCaseAreChangedAndRemoved)
{
    const struct
    {
        const char *name;
        std::function<bool()> act;
        Texts expected;
    } cases[] = {
        {"pin", [&] { return store().togglePin(entry("B")); }, {"B", "C", "A"}},
        {"delete", [&] { return store().deleteItem(entry("B")); }, {"C", "A"}},
        {"clear", [&] { return store().clearAll(); }, {}},
        {"copy of an earlier entry",
            [&] {
                record(text("A"));
                return true;
            },
            {"A", "C", "B"}},
        {"pruning",
            [&] {
                store().maxItems = 1;
                store().enforceLimits();
                return true;
            },
            {"C"}},
    };
    for (const char *ids : {"lower(id)", "substr(id, 1, 4) || lower(substr(id, 5))"}) {
        for (const auto &c : cases) {
            runSql("DELETE FROM ClipItem");
            for (const char *value : {"A", "B", "C"})
                record(text(value));
            runSql((QByteArray("UPDATE ClipItem SET id = ") + ids).constData());
            EXPECT_TRUE(c.act()) << c.name;
            m_history.reopen();
            EXPECT_EQ(texts(), c.expected) << c.name << " with ids " << ids;
        }
    }
}

TEST_F(ClipStoreTest, AChangeToARecordNoLongerStoredFailsAndHoldsUpNothingElse)
{
    const struct
    {
        const char *name;
        std::function<bool(const ClipItemPtr &)> act;
    } cases[] = {
        {"pin", [&](const ClipItemPtr &item) { return store().togglePin(item); }},
        {"delete", [&](const ClipItemPtr &item) { return store().deleteItem(item); }},
    };
    for (const auto &c : cases) {
        store().clearAll();
        record(text("gone"));
        record(text("kept"));
        const ClipItemPtr gone = entry("gone");
        // Removed behind the store's back, by another program.
        testing::runSql(m_history.databaseFile(),
            "DELETE FROM ClipItem WHERE seq = (SELECT min(seq) FROM ClipItem)");
        EXPECT_FALSE(c.act(gone)) << c.name;
        EXPECT_FALSE(store().contains(gone)) << c.name;

        record(text("next"));
        EXPECT_TRUE(store().togglePin(entry("kept"))) << c.name;
        m_history.reopen();
        EXPECT_EQ(texts(), (Texts {"kept", "next"})) << c.name;
    }
}

} // namespace
} // namespace scrivlet
