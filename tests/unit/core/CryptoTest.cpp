// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/crypto/Crypto.h"

#include "core/crypto/Digest.h"
#include "support/TestKeys.h"

#include <gtest/gtest.h>

namespace scrivlet {
namespace {

using testing::testKey;

TEST(Crypto, SealThenOpenRoundTripsForEveryAesKeyLength)
{
    for (std::size_t length : {16u, 24u, 32u}) {
        const Crypto crypto(testKey(7, length));
        for (const QByteArray &plain :
            {QByteArray(), QByteArray("x"), QByteArray(100000, 'a'), QByteArray("with\0zero", 9)}) {
            const QByteArray box = crypto.seal(plain);
            ASSERT_EQ(box.size(), plain.size() + 28) << "key length " << length;
            const auto opened = crypto.open(box);
            ASSERT_TRUE(opened.has_value()) << "key length " << length;
            EXPECT_EQ(*opened, plain);
            EXPECT_NE(crypto.seal(plain).left(12), box.left(12)) << "the nonce must be fresh";
        }
    }
}

TEST(Crypto, OpenRefusesEverythingButAnIntactBoxUnderTheSameKey)
{
    const Crypto crypto(testKey(1, 32));
    const Crypto other(testKey(2, 32));
    const QByteArray box = crypto.seal("secret text");

    const auto flipped = [&](qsizetype at, char bit) {
        QByteArray altered = box;
        altered[at] = char(altered[at] ^ bit);
        return altered;
    };
    const QByteArray emptyBox = crypto.seal({});
    const Crypto aes128(testKey(1, 16)); // the first half of `crypto`'s key

    const std::tuple<const char *, const Crypto &, QByteArray> cases[] = {
        {"empty bytes", crypto, QByteArray()},
        {"27 bytes", crypto, QByteArray(27, 'x')},
        {"28 random bytes", crypto, QByteArray(28, 'x')},
        {"altered ciphertext", crypto, flipped(14, 0x01)},
        {"altered tag", crypto, flipped(box.size() - 1, char(0x80))},
        {"altered nonce", crypto, flipped(0, 0x01)},
        // A shorter tag must not authenticate.
        {"truncated tag", crypto, box.left(box.size() - 4)},
        {"truncated empty box", crypto, emptyBox.left(27)},
        {"appended byte", crypto, box + 'x'},
        {"another key", other, box},
        {"the 16-byte key that begins the 32-byte one", aes128, box},
        {"the 32-byte key that begins with the 16-byte one", crypto, aes128.seal("short key")},
    };
    for (const auto &[name, cipher, bytes] : cases)
        EXPECT_FALSE(cipher.open(bytes).has_value()) << name;
}

TEST(Crypto, KeysOfOtherLengthsNeitherSealNorOpen)
{
    const QByteArray box = Crypto(testKey(1, 32)).seal("text");
    for (std::size_t length : {0u, 1u, 15u, 20u, 31u, 33u, 64u}) {
        const Crypto crypto(testKey(1, length));
        EXPECT_TRUE(crypto.seal("text").isEmpty()) << length;
        EXPECT_FALSE(crypto.open(box).has_value()) << length;
    }
}

TEST(Digest, KnownVectors)
{
    // RFC 4231 test case 2.
    const QByteArray key = "Jefe";
    const QByteArray mac
        = digest::hmacSha256(SecretBytes::fromByteArray(key), "what do ya want for nothing?");
    EXPECT_EQ(digest::hex(mac),
        QStringLiteral("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"));

    // RFC 5869 test case 3 (no salt, no info).
    const SecretBytes ikm = SecretBytes::fromByteArray(QByteArray(22, '\x0b'));
    const SecretBytes okm = digest::hkdfSha256(ikm, QByteArray(), 42);
    const QByteArray okmBytes(reinterpret_cast<const char *>(okm.data()), int(okm.size()));
    EXPECT_EQ(digest::hex(okmBytes),
        QStringLiteral("8da4e775a563c18f715f802a063c5a31b8a11f5c5ee1879ec3454e5f3c738d2d9d201395faa"
                       "4b61a96c8"));
}

} // namespace
} // namespace scrivlet
