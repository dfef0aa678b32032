// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/filter/ClipFilter.h"

#include "core/crypto/Crypto.h"
#include "support/TestHistory.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class ClipFilterTest : public ::testing::Test
{
protected:
    void SetUp() override { Crypto::setShared(Crypto(SecretBytes(32))); }
    void TearDown() override { Crypto::setShared(std::nullopt); }

    static std::vector<ClipItemPtr> itemsWith(const std::vector<QString> &texts)
    {
        std::vector<ClipItemPtr> items;
        for (const QString &text : texts) {
            items.push_back(ClipItem::create());
            items.back()->setText(text);
        }
        return items;
    }
    static std::vector<QString> textsOf(const std::vector<ClipItemPtr> &items)
    {
        std::vector<QString> texts;
        for (const auto &item : items)
            texts.push_back(item->text());
        return texts;
    }
};

TEST_F(ClipFilterTest, FoldsCaseAndTheDiacriticsOfLettersInEveryScript)
{
    const std::tuple<const char *, const char *, bool> cases[] = {
        // Case and accents, composed or not, but not spaces nor width.
        {"cafe", "Café crème", true}, {"Café", "a cafe", true}, {"  Café ", "CAFE", true},
        {"CAFÉ NOIR", "Cafe\u0301 noir", true}, {"cafe", "Caf e", false},
        {"cafe", "ＣＡＦＥ", false}, {"ｃａｆｅ", "ＣＡＦＥ", true}, {"foo bar", "bar foo", false},
        {"foo bar", "foo  bar", false}, {"e\u0301cole", "ÉCOLE", true},
        // Full case folding: ß is "ss" whatever the side or the case.
        {"strasse", "Straße", true}, {"Straße", "STRASSE", true}, {"STRAẞE", "strasse", true},
        {"strase", "Straße", false}, {"office", "Oﬃce", true},
        // Latin diacritics, stacked or from the extended mark blocks.
        {"viet", "Tiếng Việt", true}, {"angstrom", "Ångström", true}, {"a", "a\u1AB0", true},
        {"a", "a\u1DFF", true}, {"v", "v\u20D7", true}, {"e", "e\uFE20", true}, {"ø", "o", false},
        // Greek: final sigma, tonos, breathings.
        {"οδυσσευς", "ΟΔΥΣΣΕΥΣ", true}, {"ΟΔΥΣΣΕΥΣ", "Οδυσσεύς", true}, {"αθηνα", "Ἀθηνᾶ", true},
        // Hangul: a syllable is not the start of another one.
        {"하", "한국어", false}, {"한", "한국어", true}, {"국어", "한국어", true},
        {"한", "\u1112\u1161\u11AB", true}, // the same syllable as conjoining jamo
        // Devanagari: vowel signs, anusvara and virama are letters' parts.
        {"कु", "का कि के", false}, {"के", "का कि के", true}, {"हिंदी", "हिदी", false},
        {"क्ष", "कष", false}, {"क्ष", "परीक्षा", true},
        // Japanese: voicing marks make other kana.
        {"か", "がっこう", false}, {"ぱん", "ばん", false}, {"がっこう", "か\u3099っこう", true},
        {"ハン", "パン", false},
        // Turkish without a locale: İ is an I with a dot, ı a letter of its own.
        {"istanbul", "İSTANBUL", true}, {"İstanbul", "ISTANBUL", true}, {"ilik", "ılık", false},
        {"ılık", "ILIK", false}};
    for (const auto &[query, text, found] : cases) {
        EXPECT_EQ(
            filterClips(itemsWith({QString::fromUtf8(text)}), QString::fromUtf8(query)).size(),
            found ? 1u : 0u)
            << query << " in " << text;
    }
}

TEST_F(ClipFilterTest, KeepsTheOrderAndBlankQueriesKeepEverything)
{
    const auto items = itemsWith({QStringLiteral("b"), QString(), QStringLiteral("ab")});
    EXPECT_EQ(textsOf(filterClips(items, QStringLiteral("B"))),
        (std::vector<QString> {QStringLiteral("b"), QStringLiteral("ab")}));
    for (const char *blank : {"", "   ", "\t\n\r", "\u2028\u00a0"})
        EXPECT_EQ(filterClips(items, QString::fromUtf8(blank)), items) << blank;
    EXPECT_TRUE(filterClips({}, QStringLiteral("x")).empty());
}

TEST_F(ClipFilterTest, UnreadableEntriesHaveNoText)
{
    auto items = itemsWith({QStringLiteral("secret word")});
    Crypto::setShared(Crypto(SecretBytes(16)));
    EXPECT_TRUE(filterClips(items, QStringLiteral("secret")).empty());
    EXPECT_EQ(filterClips(items, QString()).size(), 1u);
}

// The store's search over the whole history, through its index of the text.
class StoreSearchTest : public ::testing::Test
{
protected:
    void record(const QString &text) { history.record(ClipContent::text(text)); }
    QStringList found(const QString &query, int limit = 200)
    {
        QStringList texts;
        for (const ClipStore::Found &f : store.search(query, limit))
            texts.append(f.item->text());
        return texts;
    }
    ClipItemPtr entry(const QString &text)
    {
        for (const ClipItemPtr &item : store.recentItems(5000)) {
            if (item->text() == text)
                return item;
        }
        return nullptr;
    }

    testing::TestHistory history;
    ClipStore &store = history.store();
};

TEST_F(StoreSearchTest, FindsOldEntriesInDisplayOrderUpToTheLimit)
{
    record(QStringLiteral("Le vieux Café"));
    for (int i = 0; i < 300; ++i)
        record(QStringLiteral("entry %1").arg(i));
    EXPECT_EQ(found(QStringLiteral("CAFE")), QStringList {"Le vieux Café"})
        << "older than the 200 newest, still found";

    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("entry 3"))));
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("entry 7"))));
    const QStringList entries = found(QStringLiteral("entry"));
    ASSERT_EQ(entries.size(), 200);
    EXPECT_EQ(entries.mid(0, 4), (QStringList {"entry 7", "entry 3", "entry 299", "entry 298"}))
        << "pinned first, most recently pinned first, then newest first";
    EXPECT_EQ(found(QStringLiteral("entry"), 3).size(), 3);
    EXPECT_TRUE(found(QStringLiteral("  ")).isEmpty());

    // Positions count every entry shown before, matched or not.
    const auto positioned = store.search(QStringLiteral("vieux"), 200, true);
    ASSERT_EQ(positioned.size(), 1u);
    EXPECT_EQ(positioned.front().position, 301);
}

TEST_F(StoreSearchTest, TheIndexFollowsEveryChangeOfTheHistory)
{
    for (int i = 0; i < 10; ++i)
        record(QStringLiteral("note %1").arg(i));
    EXPECT_EQ(found(QStringLiteral("note 1")), QStringList {"note 1"}); // builds the index

    record(QStringLiteral("note 10"));
    EXPECT_EQ(found(QStringLiteral("note 1")), (QStringList {"note 10", "note 1"}))
        << "recorded after the index was built";
    record(QStringLiteral("note 1"));
    EXPECT_EQ(found(QStringLiteral("note 1")), (QStringList {"note 1", "note 10"}))
        << "a repeat replaces its earlier copy";

    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("note 10"))));
    EXPECT_EQ(found(QStringLiteral("note 1")), (QStringList {"note 10", "note 1"}));
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("note 10"))));
    EXPECT_EQ(found(QStringLiteral("note 1")), (QStringList {"note 1", "note 10"}));

    ASSERT_TRUE(store.deleteItem(entry(QStringLiteral("note 10"))));
    EXPECT_EQ(found(QStringLiteral("note 1")), QStringList {"note 1"});

    store.maxItems = 3; // keeps note 8, note 9, note 1
    store.enforceLimits();
    EXPECT_EQ(found(QStringLiteral("note")), (QStringList {"note 1", "note 9", "note 8"}));
    EXPECT_TRUE(found(QStringLiteral("note 2")).isEmpty()) << "pruned";
    store.maxItems = ClipStore::kNoLimit;

    ASSERT_TRUE(store.clearAll());
    EXPECT_TRUE(found(QStringLiteral("note")).isEmpty());
    record(QStringLiteral("note après"));
    EXPECT_EQ(found(QStringLiteral("NOTE APRES")), QStringList {"note après"});
}

TEST_F(StoreSearchTest, ANarrowerQueryStillSeesWhatChangedSinceTheLastOne)
{
    for (const char *text : {"abc", "abd", "xab"})
        record(QString::fromUtf8(text));
    EXPECT_EQ(found(QStringLiteral("ab")).size(), 3);
    record(QStringLiteral("abcd"));
    ASSERT_TRUE(store.deleteItem(entry(QStringLiteral("abc"))));
    EXPECT_EQ(found(QStringLiteral("abc")), QStringList {"abcd"});
    EXPECT_EQ(found(QStringLiteral("b")).size(), 3) << "a wider query looks at everything again";
    EXPECT_TRUE(found(QStringLiteral("bz")).isEmpty());

    EXPECT_EQ(found(QStringLiteral("a")).size(), 3);
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("xab"))));
    EXPECT_EQ(found(QStringLiteral("ab")).front(), QStringLiteral("xab"));
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("xab"))));
    EXPECT_EQ(found(QStringLiteral("xab")), QStringList {"xab"}) << "unpinned since the last query";
}

TEST_F(StoreSearchTest, AReopenedHistoryIsSearchedWhole)
{
    record(QStringLiteral("before restart"));
    for (int i = 0; i < 205; ++i)
        record(QStringLiteral("filler %1").arg(i));
    history.reopen();
    EXPECT_EQ(history.store().search(QStringLiteral("restart"), 200).size(), 1u);
}

TEST_F(StoreSearchTest, ChangesBetweenTheStepsOfTheBuildAreNotLost)
{
    for (int i = 0; i < 2500; ++i)
        record(QStringLiteral("page %1").arg(i));
    const ClipItemPtr oldest = store.recentItems(3000).back();
    EXPECT_FALSE(store.prepareSearchStep()); // the oldest thousand read
    ASSERT_TRUE(store.deleteItem(oldest)); // from the part read
    ASSERT_TRUE(store.deleteItem(entry(QStringLiteral("page 2400")))); // from the part not read
    record(QStringLiteral("page nouvelle"));
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("page 1500"))));
    history.clock.time += 1;
    ASSERT_TRUE(store.togglePin(entry(QStringLiteral("page 10"))));
    int steps = 0;
    while (!store.prepareSearchStep())
        ASSERT_LT(++steps, 10);

    EXPECT_EQ(
        found(QStringLiteral("page"), 3), (QStringList {"page 10", "page 1500", "page nouvelle"}));
    EXPECT_TRUE(found(QStringLiteral("page 2400")).isEmpty());
    const auto all = store.search(QStringLiteral("page"), 5000, true);
    EXPECT_EQ(all.size(), 2499u) << "each entry once";
    EXPECT_EQ(all.back().position, 2499);
    EXPECT_EQ(all.back().item->text(), QStringLiteral("page 1"));
}

} // namespace
} // namespace scrivlet
