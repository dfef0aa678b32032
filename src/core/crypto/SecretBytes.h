// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <cstddef>
#include <vector>

namespace scrivlet {

// Memory of its own pages, left out of core dumps; for key material only
// (a page per allocation).
template<typename T>
struct UndumpedAllocator
{
    using value_type = T;
    UndumpedAllocator() = default;
    template<typename U>
    UndumpedAllocator(const UndumpedAllocator<U> &) noexcept
    { }
    [[nodiscard]] T *allocate(std::size_t count)
    {
        return static_cast<T *>(allocateUndumped(count * sizeof(T)));
    }
    void deallocate(T *pointer, std::size_t count) noexcept
    {
        freeUndumped(pointer, count * sizeof(T));
    }
    template<typename U>
    bool operator==(const UndumpedAllocator<U> &) const noexcept
    {
        return true;
    }

    static void *allocateUndumped(std::size_t bytes);
    static void freeUndumped(void *pointer, std::size_t bytes) noexcept;
};

// Key material. Kept out of QByteArray so that implicit sharing cannot leave
// unwiped copies behind; wiped when freed, never in a core dump.
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

    std::vector<unsigned char, UndumpedAllocator<unsigned char>> m_bytes;
};

} // namespace scrivlet
