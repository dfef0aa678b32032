// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SecretBytes.h"

#include <QByteArray>
#include <memory>
#include <optional>

namespace scrivlet {

// AES-GCM content cipher. A sealed box is nonce (12) + ciphertext + tag (16).
class Crypto
{
public:
    static constexpr int kNonceLength = 12;
    static constexpr int kTagLength = 16;
    static constexpr int kOverhead = kNonceLength + kTagLength;

    explicit Crypto(SecretBytes key);

    // Empty bytes when sealing fails (for instance a key AES-GCM refuses).
    [[nodiscard]] QByteArray seal(const QByteArray &plaintext) const;
    // Absent unless the bytes are a box sealed under this key.
    [[nodiscard]] std::optional<QByteArray> open(const QByteArray &box) const;

    [[nodiscard]] const SecretBytes &key() const { return *m_key; }

    // The process-wide cipher the records open their payloads with. Set once
    // at launch, before the history is opened.
    static const std::optional<Crypto> &shared();
    static void setShared(std::optional<Crypto> crypto);

private:
    std::shared_ptr<const SecretBytes> m_key;
};

} // namespace scrivlet
