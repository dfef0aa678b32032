// SPDX-License-Identifier: GPL-3.0-or-later
#include "Crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace scrivlet {

namespace {

struct CipherContextDeleter
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextDeleter>;

const EVP_CIPHER *cipherForKeyLength(std::size_t length)
{
    switch (length) {
    case 16:
        return EVP_aes_128_gcm();
    case 24:
        return EVP_aes_192_gcm();
    case 32:
        return EVP_aes_256_gcm();
    default:
        return nullptr;
    }
}

unsigned char *bytes(QByteArray &array)
{
    return reinterpret_cast<unsigned char *>(array.data());
}

const unsigned char *bytes(const QByteArray &array)
{
    return reinterpret_cast<const unsigned char *>(array.constData());
}

std::optional<Crypto> &sharedInstance()
{
    static std::optional<Crypto> instance;
    return instance;
}

} // namespace

Crypto::Crypto(SecretBytes key)
    : m_key(std::make_shared<const SecretBytes>(std::move(key)))
{ }

QByteArray Crypto::seal(const QByteArray &plaintext) const
{
    const EVP_CIPHER *cipher = cipherForKeyLength(m_key->size());
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!cipher || !ctx)
        return {};

    QByteArray box(kOverhead + plaintext.size(), Qt::Uninitialized);
    unsigned char *nonce = bytes(box);
    unsigned char *out = nonce + kNonceLength;
    unsigned char *tag = out + plaintext.size();
    int written = 0;
    int finalWritten = 0;
    if (RAND_bytes(nonce, kNonceLength) != 1
        || EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, m_key->data(), nonce) != 1
        || EVP_EncryptUpdate(ctx.get(), out, &written, bytes(plaintext), int(plaintext.size())) != 1
        || EVP_EncryptFinal_ex(ctx.get(), out + written, &finalWritten) != 1
        || EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, kTagLength, tag) != 1)
        return {};
    return box;
}

std::optional<QByteArray> Crypto::open(const QByteArray &box) const
{
    const EVP_CIPHER *cipher = cipherForKeyLength(m_key->size());
    if (!cipher || box.size() < kOverhead)
        return std::nullopt;
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return std::nullopt;

    const int length = int(box.size()) - kOverhead;
    const unsigned char *nonce = bytes(box);
    const unsigned char *in = nonce + kNonceLength;
    // The tag buffer is not const in OpenSSL's signature; hand it a copy.
    unsigned char tag[kTagLength];
    std::copy_n(in + length, kTagLength, tag);

    QByteArray plaintext(length, Qt::Uninitialized);
    int written = 0;
    int finalWritten = 0;
    // The tag length is fixed: GCM would otherwise accept a truncated tag.
    if (EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, m_key->data(), nonce) != 1
        || EVP_DecryptUpdate(ctx.get(), bytes(plaintext), &written, in, length) != 1
        || EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, kTagLength, tag) != 1
        || EVP_DecryptFinal_ex(ctx.get(), bytes(plaintext) + written, &finalWritten) != 1)
        return std::nullopt;
    return plaintext;
}

const std::optional<Crypto> &Crypto::shared()
{
    return sharedInstance();
}

void Crypto::setShared(std::optional<Crypto> crypto)
{
    sharedInstance() = std::move(crypto);
}

} // namespace scrivlet
