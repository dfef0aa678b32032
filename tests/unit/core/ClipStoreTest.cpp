// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ClipStore.h"

#include "TestSql.h"
#include "core/crypto/Digest.h"
#include "support/TestHistory.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using Texts = std::vector<QString>;

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
    // In display order.
    Texts texts()
    {
        Texts out;
        for (const auto &item : store().recentItems(1000))
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
    void record(const ClipContent &content) { m_history.record(content); }
    void recordEach(std::initializer_list<const char *> values)
    {
        for (const char *value : values)
            record(text(value));
    }
    // As another program would change the file, with the store closed.
    void runSql(const QByteArray &sql)
    {
        m_history.close();
        testing::runSql(m_history.databaseFile(), sql.constData());
        m_history.reopen();
    }

    testing::TestHistory m_history;
};

TEST_F(ClipStoreTest, RecordingKeepsOneCopyOfEachContentNewestFirst)
{
    const auto rich = [](const char *plain) {
        return ClipContent::richText(QString::fromUtf8(plain), "{\\rtf1 x}");
    };
    const std::tuple<const char *, std::vector<ClipContent>, Texts> cases[] = {
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
        {"rich texts equal by their RTF", {rich("one"), rich("two"), text("C"), rich("three")},
            {"three", "C"}},
    };
    for (const auto &[name, copies, expected] : cases) {
        store().clearAll();
        for (const ClipContent &copy : copies)
            record(copy);
        EXPECT_EQ(texts(), expected) << name;
    }
}

TEST_F(ClipStoreTest, ACopyOfTheFirstEntryChangesNothingWhileAnEarlierCopyIsReplaced)
{
    record(text("A"));
    const QUuid id = first()->id();
    const qint64 seq = first()->seq();
    record(text("A"));
    EXPECT_EQ(first()->id(), id);
    EXPECT_EQ(store().nextSeq(), seq + 1) << "no sequence number is spent";

    recordEach({"B", "A"});
    EXPECT_NE(first()->id(), id);
    EXPECT_GT(first()->seq(), seq + 1);
    EXPECT_EQ(texts(), (Texts {"A", "B"}));

    // Outside the newest 500 a copy is no longer found.
    for (int i = 0; i <= 500; ++i)
        record(ClipContent::text(QStringLiteral("entry %1").arg(i)));
    record(text("entry 0"));
    EXPECT_EQ(std::ranges::count(texts(), QStringLiteral("entry 0")), 2);
}

TEST_F(ClipStoreTest, APinnedFirstEntryHidesTheRepeatFromTheFirstEntryCheck)
{
    record(text("P"));
    store().togglePin(first());
    record(text("A"));
    const QUuid firstCopy = store().recentItems(2).at(1)->id();
    record(text("A"));
    EXPECT_NE(store().recentItems(2).at(1)->id(), firstCopy) << "replaced by a new record";
    EXPECT_EQ(texts(), (Texts {"P", "A"}));

    const QUuid pinned = first()->id();
    record(text("P"));
    EXPECT_EQ(first()->id(), pinned) << "the pinned first entry's own content changes nothing";
    EXPECT_TRUE(first()->isPinned());

    record(text("Q"));
    store().togglePin(entry("Q")); // pinned later, so now first
    record(text("P"));
    EXPECT_EQ(texts(), (Texts {"Q", "P", "A"}));
    EXPECT_FALSE(entry("P")->isPinned()) << "a pinned entry not first is replaced, unpinned";
    EXPECT_FALSE(entry("P")->pinnedAt().has_value());
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
    EXPECT_NE(*hash,
        QString::fromLatin1(QCryptographicHash::hash("1234", QCryptographicHash::Sha256).toHex()));
    EXPECT_NE(
        *hash, ClipStore::contentHash(text("1234"), ClipStore::hashKeyFor(testing::testKey(0x12))));
    EXPECT_EQ(*hash, ClipStore::contentHash(ClipContent::files({QStringLiteral("1234")}), hashKey));
    record(text("1234"));
    EXPECT_EQ(first()->contentHash(), *hash);
}

TEST_F(ClipStoreTest, HtmlTellsCopiesApartWhileOtherHashesStayAsStored)
{
    const SecretBytes key = ClipStore::hashKeyFor(testing::testKey(0x11));
    const auto hash = [&](const ClipContent &content) {
        return ClipStore::contentHash(content, key).value_or(QString());
    };
    const auto html = [](const char *plain, std::optional<QByteArray> rtf, const char *markup) {
        return ClipContent::richText(QString::fromUtf8(plain), std::move(rtf), QByteArray(markup));
    };
    // Histories already hold these: the hash of a text is of its UTF-8, of
    // rich text of its RTF alone.
    EXPECT_EQ(hash(text("Gras")), digest::hex(digest::hmacSha256(key, "Gras")));
    EXPECT_EQ(hash(ClipContent::richText(QStringLiteral("Gras"), "{\\rtf1 G}")),
        digest::hex(digest::hmacSha256(key, "{\\rtf1 G}")));

    const std::tuple<const char *, ClipContent, ClipContent> different[] = {
        {"other HTML, same text", html("Gras", {}, "<b>Gras</b>"), html("Gras", {}, "<i>Gras</i>")},
        {"HTML and its text alone", html("Gras", {}, "<b>Gras</b>"), text("Gras")},
        {"HTML whose markup is the text", html("Gras", {}, "Gras"), text("Gras")},
        {"RTF with and without HTML", html("G", "{\\rtf1 G}", "<b>G</b>"),
            ClipContent::richText(QStringLiteral("G"), "{\\rtf1 G}")},
        {"HTML that spells another's RTF", html("G", {}, "{\\rtf1 G}"),
            ClipContent::richText(QStringLiteral("G"), "{\\rtf1 G}")},
        {"a part moved from the text to the markup", html("ab", {}, "c"), html("a", {}, "bc")},
        {"other text, same HTML", html("Gras", {}, "<b>Gras</b>"), html("gras", {}, "<b>Gras</b>")},
    };
    for (const auto &[name, a, b] : different)
        EXPECT_NE(hash(a), hash(b)) << name;
    EXPECT_EQ(hash(html("G", "{\\rtf1}", "<b>G</b>")), hash(html("G", "{\\rtf1}", "<b>G</b>")));

    record(html("Gras", {}, "<b>Gras</b>"));
    record(html("Gras", {}, "<i>Gras</i>"));
    record(html("Gras", {}, "<b>Gras</b>"));
    const auto items = store().recentItems(10);
    ASSERT_EQ(items.size(), 2u) << "the repeat replaces the first copy, the other stays";
    EXPECT_EQ(items[0]->html(), QByteArray("<b>Gras</b>"));
    EXPECT_EQ(items[1]->html(), QByteArray("<i>Gras</i>"));
    EXPECT_EQ(items[0]->kind(), ClipKind::richText);
    EXPECT_FALSE(items[0]->richCipher().has_value());
    EXPECT_EQ(items[0]->byteSize(), 4) << "the plain text's size, as for RTF";
}

TEST_F(ClipStoreTest, NothingIsRecordedWithoutAKey)
{
    Crypto::setShared(std::nullopt);
    m_history.reopen();
    record(text("secret"));
    record(ClipContent::image("png"));
    EXPECT_TRUE(texts().empty());
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

    store().deleteItem(entry("between"));
    EXPECT_EQ(imageFiles(), QStringList {secondFile});
    store().deleteItem(first());
    EXPECT_TRUE(imageFiles().isEmpty());

    record(ClipContent::image("image two"));
    store().togglePin(first());
    store().clearAll();
    EXPECT_TRUE(texts().empty());
    EXPECT_TRUE(imageFiles().isEmpty());
}

TEST_F(ClipStoreTest, SequenceNumbersContinueAcrossRestartsAndClearing)
{
    EXPECT_EQ(store().nextSeq(), 1);
    for (int i = 1; i <= 41; ++i)
        record(ClipContent::text(QString::number(i)));
    EXPECT_EQ(store().recentItems(1000).back()->seq(), 1);
    m_history.reopen();
    record(text("next"));
    EXPECT_EQ(first()->seq(), 42);
    store().clearAll();
    record(text("after clearing"));
    EXPECT_EQ(first()->seq(), 43);
}

TEST_F(ClipStoreTest, DisplayOrderPutsTheMostRecentlyPinnedFirstAmongTheNewest)
{
    recordEach({"A", "B", "C", "D"});
    store().togglePin(entry("B"));
    m_history.clock.time += 1;
    store().togglePin(entry("A"));
    EXPECT_EQ(texts(), (Texts {"A", "B", "D", "C"}));
    store().togglePin(entry("A"));
    EXPECT_EQ(texts(), (Texts {"B", "D", "C", "A"}));
    EXPECT_FALSE(entry("A")->pinnedAt().has_value());
    store().togglePin(entry("C"));
    store().togglePin(entry("D"));
    EXPECT_EQ(texts(), (Texts {"D", "C", "B", "A"})) << "equal pin times keep the newest first";

    // Only the newest records take part: an old pin falls out of a short list.
    for (int i = 0; i < 300; ++i)
        record(ClipContent::text(QStringLiteral("n%1").arg(i)));
    const auto listed = store().recentItems(200);
    EXPECT_EQ(listed.size(), 200u);
    EXPECT_EQ(listed.front()->text(), QStringLiteral("n299"));
    EXPECT_FALSE(listed.front()->isPinned());
}

TEST_F(ClipStoreTest, PruningByCountSparesPinnedEntries)
{
    for (int i = 0; i < 15; ++i)
        record(ClipContent::text(QStringLiteral("e%1").arg(i)));
    for (const char *value : {"e0", "e5", "e14"})
        store().togglePin(entry(value));
    store().maxItems = 10;
    store().enforceLimits();
    ASSERT_EQ(texts().size(), 13u);
    EXPECT_EQ(texts().back(), QStringLiteral("e3")) << "e1 and e2 are the oldest unpinned";

    store().maxItems = 0;
    record(text("fresh"));
    EXPECT_EQ(texts(), (Texts {"e14", "e5", "e0"})) << "even the one just recorded goes";
}

TEST_F(ClipStoreTest, PruningByAgeCutsStrictlyAtWholeDaysAndSparesPinsWhilePinned)
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

    store().togglePin(entry("pinned, a year old"));
    EXPECT_EQ(texts().size(), 3u) << "unpinning alone does not prune";
    store().enforceLimits();
    EXPECT_EQ(texts(), (Texts {"exactly a day", "younger"}));
}

TEST_F(ClipStoreTest, AnImageFileOutlivesItsRecordUntilTheRemovalIsSaved)
{
    record(ClipContent::image("picture"));
    const QString name = *first()->imageFileRef();
    testing::runSql(m_history.databaseFile(),
        "CREATE TRIGGER refuse BEFORE DELETE ON ClipItem BEGIN SELECT RAISE(ABORT, 'disk full'); "
        "END");
    store().deleteItem(first());
    EXPECT_EQ(imageFiles(), QStringList {name}) << "the record is still stored, so is its file";

    testing::runSql(m_history.databaseFile(), "DROP TRIGGER refuse");
    record(text("next save"));
    EXPECT_TRUE(imageFiles().isEmpty());
    EXPECT_EQ(texts(), (Texts {"next save"}));
}

TEST_F(ClipStoreTest, RecordsStoredWithIdsInAnyCaseAreChangedAndRemoved)
{
    const std::tuple<const char *, std::function<bool()>, Texts> cases[] = {
        {"pin", [&] { return store().togglePin(entry("B")); }, {"B", "C", "A"}},
        {"delete", [&] { return store().deleteItem(entry("B")); }, {"C", "A"}},
        {"clear", [&] { return store().clearAll(); }, {}},
        {"copy of an earlier entry", [&] { return record(text("A")), true; }, {"A", "C", "B"}},
        {"pruning", [&] { return store().maxItems = 1, store().enforceLimits(), true; }, {"C"}},
    };
    for (const char *ids : {"lower(id)", "substr(id, 1, 4) || lower(substr(id, 5))"}) {
        for (const auto &[name, act, expected] : cases) {
            runSql("DELETE FROM ClipItem");
            recordEach({"A", "B", "C"});
            runSql(QByteArray("UPDATE ClipItem SET id = ") + ids);
            EXPECT_TRUE(act()) << name;
            m_history.reopen();
            EXPECT_EQ(texts(), expected) << name << " with ids " << ids;
        }
    }
}

TEST_F(ClipStoreTest, AChangeToARecordNoLongerStoredFailsAndHoldsUpNothingElse)
{
    for (const bool pin : {true, false}) {
        SCOPED_TRACE(pin ? "pin" : "delete");
        store().clearAll();
        recordEach({"gone", "kept"});
        const ClipItemPtr gone = entry("gone");
        testing::runSql(m_history.databaseFile(),
            "DELETE FROM ClipItem WHERE seq = "
            "(SELECT min(seq) FROM ClipItem)");
        EXPECT_FALSE(pin ? store().togglePin(gone) : store().deleteItem(gone));
        EXPECT_FALSE(store().contains(gone));

        record(text("next"));
        EXPECT_TRUE(store().togglePin(entry("kept")));
        m_history.reopen();
        EXPECT_EQ(texts(), (Texts {"kept", "next"}));
    }
}

TEST_F(ClipStoreTest, PruningByCountKeepsTheNewestUnpinnedThroughPinsDeletionsAndRepeats)
{
    int fresh = 0;
    const auto recordFresh = [&](int count) {
        for (int i = 0; i < count; ++i)
            record(ClipContent::text(QStringLiteral("f%1").arg(fresh++)));
    };
    const auto unpinned = [&] {
        std::size_t count = 0;
        for (const auto &item : store().recentItems(1000))
            count += item->isPinned() ? 0 : 1;
        return count;
    };
    // Each step ends with more unpinned copies than the limit, so a count
    // that drifted either way shows as a wrong number kept.
    const std::vector<std::pair<const char *, std::function<void()>>> steps = {
        {"a full history", [&] { recordFresh(8); }},
        {"a kept entry pinned", [&] { store().togglePin(entry("f7")), recordFresh(2); }},
        {"unpinned again", [&] { store().togglePin(entry("f7")), recordFresh(1); }},
        {"an entry deleted", [&] { store().deleteItem(entry("f9")), recordFresh(1); }},
        {"an older entry copied again", [&] { record(text("f8")); }},
        {"the limit lowered",
            [&] { store().maxItems = 2, store().enforceLimits(), recordFresh(1); }},
        {"the limit raised", [&] { store().maxItems = 6, recordFresh(7); }},
        {"a pinned entry deleted",
            [&] { store().togglePin(first()), store().deleteItem(first()), recordFresh(1); }},
        {"everything cleared", [&] { store().clearAll(), recordFresh(9); }},
    };
    store().maxItems = 5;
    for (const auto &[name, step] : steps) {
        step();
        EXPECT_EQ(unpinned(), std::size_t(store().maxItems)) << name;
        const Texts before = texts();
        const qint64 limit = store().maxItems;
        m_history.reopen();
        store().maxItems = limit;
        store().enforceLimits();
        EXPECT_EQ(texts(), before) << name << ": counted afresh, nothing more goes";
    }
}

} // namespace
} // namespace scrivlet
