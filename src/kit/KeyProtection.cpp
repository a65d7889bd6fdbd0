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
    next.Kdf = params;
    RandomBytes(next.Salt.data(), next.Salt.size());
    RandomBytes(next.Nonce.data(), next.Nonce.size());
    // GCM keeps the length, and the length is part of the authenticated data.
    next.PrivateKeyCipher.assign(plain.size(), 0);
    const Bytes aad = AuthenticatedData(next);
    const SecureBytes derived =
        DeriveKey(password, std::strlen(password), next.Salt.data(), next.Salt.size(), next.Kdf);
    next.PrivateKeyCipher = AesGcmSeal(derived, next.Nonce.data(), aad, plain, next.Tag.data());
    if (next.PrivateKeyCipher.size() != plain.size())
        Fail(HL_E_CRYPTO);
    file = std::move(next);
}

EvpPkeyPtr UnlockPrivateKey(const KeyFile& file, const char* password)
{
    const SecureBytes derived =
        DeriveKey(password, std::strlen(password), file.Salt.data(), file.Salt.size(), file.Kdf);
    SecureBytes plain;
    if (!AesGcmOpen(derived, file.Nonce.data(), AuthenticatedData(file), file.PrivateKeyCipher, file.Tag.data(), plain))
        Fail(HL_E_WRONG_PASSWORD);
    EvpPkeyPtr key = LoadPrivateKey(plain);
    if (!key)
        Fail(HL_E_FILE_FORMAT);
    const Bytes pub = PublicKeyDer(key.get());
    if (pub.size() != file.PublicKey.size() || std::memcmp(pub.data(), file.PublicKey.data(), pub.size()) != 0)
        Fail(HL_E_FILE_FORMAT);
    return key;
}

} // namespace kit
