// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretBytes.h"

#include <openssl/crypto.h>
#include <utility>

namespace scrivlet {

SecretBytes::SecretBytes(std::size_t size)
    : m_bytes(size, 0)
{ }

SecretBytes::SecretBytes(const unsigned char *data, std::size_t size)
    : m_bytes(data, data + size)
{ }

SecretBytes SecretBytes::fromByteArray(const QByteArray &bytes)
{
    return SecretBytes(reinterpret_cast<const unsigned char *>(bytes.constData()),
        static_cast<std::size_t>(bytes.size()));
}

SecretBytes::SecretBytes(const SecretBytes &other) = default;

SecretBytes &SecretBytes::operator=(const SecretBytes &other)
{
    if (this != &other) {
        wipe();
        m_bytes = other.m_bytes;
    }
    return *this;
}

SecretBytes::SecretBytes(SecretBytes &&other) noexcept
    : m_bytes(std::exchange(other.m_bytes, {}))
{ }

SecretBytes &SecretBytes::operator=(SecretBytes &&other) noexcept
{
    if (this != &other) {
        wipe();
        m_bytes = std::exchange(other.m_bytes, {});
    }
    return *this;
}

SecretBytes::~SecretBytes()
{
    wipe();
}

bool SecretBytes::operator==(const SecretBytes &other) const
{
    return m_bytes.size() == other.m_bytes.size()
        && CRYPTO_memcmp(m_bytes.data(), other.m_bytes.data(), m_bytes.size()) == 0;
}

void SecretBytes::wipe()
{
    if (!m_bytes.empty())
        OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
}

} // namespace scrivlet
