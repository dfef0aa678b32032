// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/crypto/SecretBytes.h"

#include <algorithm>

namespace scrivlet::testing {

// A content key of `length` bytes, all `fill`: distinct fills make keys
// that cannot open each other's boxes.
inline SecretBytes testKey(unsigned char fill, std::size_t length = 32)
{
    SecretBytes key(length);
    std::fill_n(key.data(), length, fill);
    return key;
}

} // namespace scrivlet::testing
