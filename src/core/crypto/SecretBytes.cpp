// SPDX-License-Identifier: GPL-3.0-or-later
#include "SecretBytes.h"

#include <new>
#include <openssl/crypto.h>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace scrivlet {

namespace {

std::size_t pagesFor(std::size_t bytes)
{
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return bytes == 0 ? page : (bytes + page - 1) / page * page;
}

} // namespace

template<typename T>
void *UndumpedAllocator<T>::allocateUndumped(std::size_t bytes)
{
    const std::size_t length = pagesFor(bytes);
    void *pages
        = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
    // Best effort: a kernel without it still gets no core file (the limit is 0).
    (void)::madvise(pages, length, MADV_DONTDUMP);
    return pages;
}

template<typename T>
void UndumpedAllocator<T>::freeUndumped(void *pointer, std::size_t bytes) noexcept
{
    if (pointer)
        ::munmap(pointer, pagesFor(bytes));
}

template struct UndumpedAllocator<unsigned char>;

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
