// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/filter/ClipFilter.h"

#include "core/crypto/Crypto.h"

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

} // namespace
} // namespace scrivlet
