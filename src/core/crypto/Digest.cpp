// SPDX-License-Identifier: GPL-3.0-or-later
#include "Digest.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

namespace scrivlet::digest {

QByteArray hmacSha256(const SecretBytes &key, const QByteArray &message)
{
    QByteArray out(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int length = 0;
    // HMAC() refuses a null key pointer even for an empty key.
    static const unsigned char kEmpty = 0;
    if (!HMAC(EVP_sha256(), key.isEmpty() ? &kEmpty : key.data(), int(key.size()),
            reinterpret_cast<const unsigned char *>(message.constData()), size_t(message.size()),
            reinterpret_cast<unsigned char *>(out.data()), &length))
        return {};
    out.truncate(int(length));
    return out;
}

SecretBytes hkdfSha256(const SecretBytes &key, const QByteArray &info, int length)
{
    struct Deleter
    {
        void operator()(EVP_PKEY_CTX *ctx) const { EVP_PKEY_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_PKEY_CTX, Deleter> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr));
    SecretBytes out(size_t(length > 0 ? length : 0));
    size_t outLength = out.size();
    if (!ctx || length <= 0 || key.isEmpty() || EVP_PKEY_derive_init(ctx.get()) <= 0
        || EVP_PKEY_CTX_set_hkdf_md(ctx.get(), EVP_sha256()) <= 0
        || EVP_PKEY_CTX_set1_hkdf_key(ctx.get(), key.data(), int(key.size())) <= 0
        || EVP_PKEY_CTX_add1_hkdf_info(ctx.get(),
               reinterpret_cast<const unsigned char *>(info.constData()), int(info.size()))
            <= 0
        || EVP_PKEY_derive(ctx.get(), out.data(), &outLength) <= 0 || outLength != out.size())
        return {};
    return out;
}

QString hex(const QByteArray &digest)
{
    return QString::fromLatin1(digest.toHex());
}

} // namespace scrivlet::digest
