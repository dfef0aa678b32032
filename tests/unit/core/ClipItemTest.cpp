// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/history/ClipItem.h"

#include "core/crypto/Crypto.h"
#include "support/TestKeys.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class ClipItemTest : public ::testing::Test
{
protected:
    void SetUp() override { Crypto::setShared(Crypto(testing::testKey(0x42))); }
    void TearDown() override { Crypto::setShared(std::nullopt); }
};

TEST_F(ClipItemTest, KindFollowsTheRawValueExactly)
{
    const struct
    {
        const char *raw;
        ClipKind kind;
    } cases[] = {
        {"text", ClipKind::text},
        {"richText", ClipKind::richText},
        {"image", ClipKind::image},
        {"file", ClipKind::file},
        {"Image", ClipKind::text},
        {"richtext", ClipKind::text},
        {"", ClipKind::text},
        {"files", ClipKind::text},
    };
    for (const auto &c : cases) {
        ClipRecord record;
        record.kindRaw = QString::fromLatin1(c.raw);
        EXPECT_EQ(ClipItem::create(record)->kind(), c.kind) << c.raw;
    }
    for (ClipKind kind : {ClipKind::text, ClipKind::richText, ClipKind::image, ClipKind::file})
        EXPECT_EQ(clipKindFromRaw(rawValue(kind)), kind);
}

TEST_F(ClipItemTest, TextAndRichDataRoundTripThroughSealedFields)
{
    auto item = ClipItem::create();
    item->setText(QStringLiteral("Déjà vu — 😀"));
    item->setRichData(QByteArray("{\\rtf1 hi}"));
    EXPECT_EQ(item->text(), QStringLiteral("Déjà vu — 😀"));
    EXPECT_EQ(item->richData().value_or(QByteArray()), QByteArray("{\\rtf1 hi}"));
    EXPECT_FALSE(item->textCipher().contains("Déjà")) << "text must be stored sealed";

    item->setText(QString());
    EXPECT_EQ(item->textCipher().size(), 28);
    EXPECT_EQ(item->text(), QString());

    item->setRichData(std::nullopt);
    EXPECT_FALSE(item->richCipher().has_value());
    EXPECT_FALSE(item->richData().has_value());
}

TEST_F(ClipItemTest, WritingTheSameTextTwiceSealsWithFreshNonces)
{
    auto item = ClipItem::create();
    item->setText(QStringLiteral("same"));
    const QByteArray first = item->textCipher();
    item->setText(QStringLiteral("same"));
    EXPECT_NE(item->textCipher(), first);
}

TEST_F(ClipItemTest, UnreadablePayloadsReadAsEmptyOrAbsent)
{
    auto sealedElsewhere = ClipItem::create();
    Crypto::setShared(Crypto(testing::testKey(0x01)));
    sealedElsewhere->setText(QStringLiteral("other key"));
    sealedElsewhere->setRichData(QByteArray("rtf"));
    Crypto::setShared(Crypto(testing::testKey(0x42)));

    ClipRecord legacyOnly;
    legacyOnly.legacyText = QStringLiteral("plaintext from an old version");
    legacyOnly.legacyRich = QByteArray("old rtf");

    ClipRecord tooShort;
    tooShort.textCipher = QByteArray(27, 'x');
    tooShort.richCipher = QByteArray(27, 'x');

    ClipRecord notUtf8;
    notUtf8.textCipher = Crypto::shared()->seal(QByteArray("\xff\xfe bad", 6));

    const struct
    {
        const char *name;
        ClipItemPtr item;
    } cases[] = {
        {"sealed under another key", sealedElsewhere},
        {"empty cipher with legacy text", ClipItem::create(legacyOnly)},
        {"shorter than a box", ClipItem::create(tooShort)},
        {"not UTF-8", ClipItem::create(notUtf8)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.item->text(), QString()) << c.name;
        EXPECT_FALSE(c.item->richData().has_value()) << c.name;
    }
}

TEST_F(ClipItemTest, WithoutACipherNothingIsSealedOrOpened)
{
    auto item = ClipItem::create();
    item->setText(QStringLiteral("before"));
    item->setRichData(QByteArray("rtf"));
    Crypto::setShared(std::nullopt);

    EXPECT_EQ(item->text(), QString());
    EXPECT_FALSE(item->richData().has_value());
    item->setText(QStringLiteral("after"));
    item->setRichData(QByteArray("rtf"));
    EXPECT_TRUE(item->textCipher().isEmpty());
    EXPECT_FALSE(item->richCipher().has_value());
}

TEST_F(ClipItemTest, RecordsWithEqualFieldsAreStillTwoEntries)
{
    ClipRecord record;
    record.id = QUuid::createUuid();
    const ClipItemPtr a = ClipItem::create(record);
    const ClipItemPtr b = ClipItem::create(record);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, a);
}

} // namespace
} // namespace scrivlet
