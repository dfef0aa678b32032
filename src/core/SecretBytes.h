// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <cstddef>
#include <vector>

namespace scrivlet {

// Key material. Kept out of QByteArray so that implicit sharing cannot leave
// unwiped copies behind; wiped when freed.
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(std::size_t size);
    SecretBytes(const unsigned char *data, std::size_t size);
    static SecretBytes fromByteArray(const QByteArray &bytes);

    SecretBytes(const SecretBytes &other);
    SecretBytes &operator=(const SecretBytes &other);
    SecretBytes(SecretBytes &&other) noexcept;
    SecretBytes &operator=(SecretBytes &&other) noexcept;
    ~SecretBytes();

    [[nodiscard]] const unsigned char *data() const { return m_bytes.data(); }
    [[nodiscard]] unsigned char *data() { return m_bytes.data(); }
    [[nodiscard]] std::size_t size() const { return m_bytes.size(); }
    [[nodiscard]] bool isEmpty() const { return m_bytes.empty(); }

    // Constant-time comparison.
    [[nodiscard]] bool operator==(const SecretBytes &other) const;

private:
    void wipe();

    std::vector<unsigned char> m_bytes;
};

} // namespace scrivlet
