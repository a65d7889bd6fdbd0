#pragma once
// OpenSSL handles owned by std::unique_ptr with their matching free function,
// so that no early return inside the kit can leak one.
#include <openssl/evp.h>
#include <openssl/kdf.h>

#include <memory>

namespace kit {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
    void operator()(T* p) const noexcept { Free(p); }
};

using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using EvpMdPtr = std::unique_ptr<EVP_MD, OpenSslDeleter<EVP_MD, EVP_MD_free>>;
using EvpCipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, OpenSslDeleter<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>>;
using EvpCipherPtr = std::unique_ptr<EVP_CIPHER, OpenSslDeleter<EVP_CIPHER, EVP_CIPHER_free>>;
using EvpKdfPtr = std::unique_ptr<EVP_KDF, OpenSslDeleter<EVP_KDF, EVP_KDF_free>>;
using EvpKdfCtxPtr = std::unique_ptr<EVP_KDF_CTX, OpenSslDeleter<EVP_KDF_CTX, EVP_KDF_CTX_free>>;

} // namespace kit
