// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SecretBytes.h"

#include <QByteArray>
#include <QString>

namespace scrivlet::digest {

// 32-byte HMAC-SHA-256 of the message under the key.
[[nodiscard]] QByteArray hmacSha256(const SecretBytes &key, const QByteArray &message);
// HKDF-SHA-256 with no salt; a derived key of the given length.
[[nodiscard]] SecretBytes hkdfSha256(const SecretBytes &key, const QByteArray &info, int length);
// Lower-case hexadecimal, two digits a byte.
[[nodiscard]] QString hex(const QByteArray &digest);

} // namespace scrivlet::digest
