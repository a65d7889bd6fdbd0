#include "kit/KeyProtection.h"

#include "kit/KitError.h"

#include <cstring>

namespace kit {

ScryptParams DefaultScryptParams()
{
    return ScryptParams{15, 8, 1};
}

void ProtectPrivateKey(KeyFile& file, EVP_PKEY* key, const char* password, const ScryptParams& params)
{
    const SecureBytes plain = PrivateKeyDer(key);
    if (plain.empty() || plain.size() > kMaxPrivateKeyCipherSize)
        Fail(HL_E_CRYPTO);
    KeyFile next = file;
    next.kdf = params;
    RandomBytes(next.salt.data(), next.salt.size());
    RandomBytes(next.nonce.data(), next.nonce.size());
    // GCM keeps the length, and the length is part of the authenticated data.
    next.privateKeyCipher.assign(plain.size(), 0);
    const Bytes aad = AuthenticatedData(next);
    const SecureBytes derived =
        DeriveKey(password, std::strlen(password), next.salt.data(), next.salt.size(), next.kdf);
    next.privateKeyCipher = AesGcmSeal(derived, next.nonce.data(), aad, plain, next.tag.data());
    if (next.privateKeyCipher.size() != plain.size())
        Fail(HL_E_CRYPTO);
    file = std::move(next);
}

EvpPkeyPtr UnlockPrivateKey(const KeyFile& file, const char* password)
{
    const SecureBytes derived =
        DeriveKey(password, std::strlen(password), file.salt.data(), file.salt.size(), file.kdf);
    SecureBytes plain;
    if (!AesGcmOpen(derived, file.nonce.data(), AuthenticatedData(file), file.privateKeyCipher, file.tag.data(), plain))
        Fail(HL_E_WRONG_PASSWORD);
    EvpPkeyPtr key = LoadPrivateKey(plain);
    if (!key)
        Fail(HL_E_FILE_FORMAT);
    const Bytes pub = PublicKeyDer(key.get());
    if (pub.size() != file.publicKey.size() || std::memcmp(pub.data(), file.publicKey.data(), pub.size()) != 0)
        Fail(HL_E_FILE_FORMAT);
    return key;
}

} // namespace kit
