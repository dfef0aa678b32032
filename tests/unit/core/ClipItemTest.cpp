// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ClipItem.h"

#include "core/crypto/Crypto.h"
#include "support/TestKeys.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

// An entry over a record as `edit` leaves it.
template<typename Edit>
ClipItemPtr itemWith(Edit edit)
{
    ClipRecord record;
    edit(record);
    return ClipItem::create(std::move(record));
}

class ClipItemTest : public ::testing::Test
{
protected:
    void SetUp() override { Crypto::setShared(Crypto(testing::testKey(0x42))); }
    void TearDown() override { Crypto::setShared(std::nullopt); }
};

TEST_F(ClipItemTest, KindFollowsTheRawValueExactly)
{
    const std::pair<const char *, ClipKind> cases[]
        = {{"text", ClipKind::text}, {"richText", ClipKind::richText}, {"image", ClipKind::image},
            {"file", ClipKind::file}, {"Image", ClipKind::text}, {"richtext", ClipKind::text},
            {"", ClipKind::text}, {"files", ClipKind::text}};
    for (const auto &[raw, kind] : cases)
        EXPECT_EQ(itemWith([&](ClipRecord &r) { r.kindRaw = QLatin1String(raw); })->kind(), kind)
            << raw;
    for (ClipKind kind : {ClipKind::text, ClipKind::richText, ClipKind::image, ClipKind::file})
        EXPECT_EQ(clipKindFromRaw(rawValue(kind)), kind);
}

TEST_F(ClipItemTest, TextRichDataAndHtmlRoundTripThroughSealedFields)
{
    auto item = ClipItem::create();
    item->setText(QStringLiteral("Déjà vu — 😀"));
    item->setRichData(QByteArray("{\\rtf1 hi}"));
    item->setHtml(QByteArray("<b>Déjà</b>"));
    EXPECT_EQ(item->text(), QStringLiteral("Déjà vu — 😀"));
    EXPECT_EQ(item->richData().value_or(QByteArray()), QByteArray("{\\rtf1 hi}"));
    EXPECT_EQ(item->html().value_or(QByteArray()), QByteArray("<b>Déjà</b>"));
    EXPECT_FALSE(item->textCipher().contains("Déjà")) << "text must be stored sealed";
    EXPECT_FALSE(item->htmlCipher()->contains("<b>")) << "HTML must be stored sealed";
    EXPECT_NE(item->htmlCipher(), item->richCipher());

    item->setText(QString());
    EXPECT_EQ(item->textCipher().size(), 28);
    EXPECT_EQ(item->text(), QString());

    item->setRichData(std::nullopt);
    EXPECT_FALSE(item->richCipher().has_value());
    EXPECT_FALSE(item->richData().has_value());
    EXPECT_TRUE(item->html().has_value()) << "each format is cleared on its own";
    item->setHtml(std::nullopt);
    EXPECT_FALSE(item->htmlCipher().has_value());
    EXPECT_FALSE(item->html().has_value());
}

TEST_F(ClipItemTest, UnreadablePayloadsReadAsEmptyOrAbsent)
{
    auto sealedElsewhere = ClipItem::create();
    Crypto::setShared(Crypto(testing::testKey(0x01)));
    sealedElsewhere->setText(QStringLiteral("other key"));
    sealedElsewhere->setRichData(QByteArray("rtf"));
    sealedElsewhere->setHtml(QByteArray("<p>"));
    Crypto::setShared(Crypto(testing::testKey(0x42)));

    const std::pair<const char *, ClipItemPtr> cases[] = {
        {"sealed under another key", sealedElsewhere},
        {"empty cipher with legacy text", itemWith([](ClipRecord &r) {
             r.legacyText = QStringLiteral("plaintext from an old version");
             r.legacyRich = QByteArray("old rtf");
         })},
        {"shorter than a box", itemWith([](ClipRecord &r) {
             r.textCipher = r.richCipher.emplace(27, 'x');
             r.htmlCipher = r.textCipher;
         })},
        {"not UTF-8", itemWith([](ClipRecord &r) {
             r.textCipher = Crypto::shared()->seal(QByteArray("\xff\xfe bad", 6));
         })},
    };
    for (const auto &[name, item] : cases) {
        EXPECT_EQ(item->text(), QString()) << name;
        EXPECT_FALSE(item->richData().has_value()) << name;
        EXPECT_FALSE(item->html().has_value()) << name;
    }
}

TEST_F(ClipItemTest, WithoutACipherNothingIsSealedOrOpened)
{
    auto item = ClipItem::create();
    item->setText(QStringLiteral("before"));
    item->setRichData(QByteArray("rtf"));
    item->setHtml(QByteArray("<i>"));
    Crypto::setShared(std::nullopt);

    EXPECT_EQ(item->text(), QString());
    EXPECT_FALSE(item->richData().has_value());
    EXPECT_FALSE(item->html().has_value());
    item->setText(QStringLiteral("after"));
    item->setRichData(QByteArray("rtf"));
    item->setHtml(QByteArray("<i>"));
    EXPECT_TRUE(item->textCipher().isEmpty());
    EXPECT_FALSE(item->richCipher().has_value());
    EXPECT_FALSE(item->htmlCipher().has_value());
}

} // namespace
} // namespace scrivlet
