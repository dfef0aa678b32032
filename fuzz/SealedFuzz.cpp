// SPDX-License-Identifier: GPL-3.0-or-later
// Sealed boxes are read back from the history and image files, which anyone
// with the user's rights can alter: opening one must refuse or give the
// plaintext, never crash; sealing must round-trip and detect any change.
//
// Input: a byte choosing the key (see kKeyLengths), then the bytes.
#include "core/crypto/Crypto.h"

#include <cstdint>
#include <cstdlib>

using namespace scrivlet;

namespace {

// AES-GCM's three key sizes, then two it must refuse.
constexpr std::size_t kKeyLengths[] = {32, 16, 24, 0, 31};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t keyLength = kKeyLengths[data[0] % std::size(kKeyLengths)];
    SecretBytes key(keyLength);
    for (std::size_t i = 0; i < keyLength; ++i)
        key.data()[i] = static_cast<unsigned char>(i * 7 + 1);
    const Crypto crypto(std::move(key));
    const bool usable = keyLength != 0 && keyLength != 31;
    const QByteArray bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));

    const std::optional<QByteArray> opened = crypto.open(bytes);
    check(!opened || (usable && opened->size() == bytes.size() - Crypto::kOverhead));

    const QByteArray sealed = crypto.seal(bytes);
    if (!usable) {
        check(sealed.isEmpty());
        return 0;
    }
    check(sealed.size() == bytes.size() + Crypto::kOverhead);
    check(crypto.open(sealed) == bytes);
    // A fresh nonce each time: GCM under a repeated nonce leaks the key stream.
    check(crypto.seal(bytes).left(Crypto::kNonceLength) != sealed.left(Crypto::kNonceLength));

    // Any one flipped bit, and any cut, is refused.
    QByteArray altered = sealed;
    const qsizetype at = qsizetype(data[0] * 131u + size) % altered.size();
    altered[at] = char(altered[at] ^ (1 << (data[0] % 8)));
    check(!crypto.open(altered));
    check(!crypto.open(sealed.chopped(1)));
    check(!crypto.open(sealed.mid(1)));
    return 0;
}
