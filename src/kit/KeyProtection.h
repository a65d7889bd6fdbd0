#pragma once
// The private key inside a key file: AES-256-GCM under a key that scrypt
// derives from the password. Only these two functions see the clear private
// key, and only in cleansing buffers; it is never written anywhere in clear.
#include "kit/KeyFile.h"
#include "kit/OpenSslHandles.h"

namespace kit {

// Cost chosen so that one derivation takes about 0.1 s on the machines the
// client runs on (N = 2^15, r = 8, p = 1: some 32 MiB of memory).
ScryptParams DefaultScryptParams();

// Encrypts the private key of `key` under `password` into `file`, with a fresh
// salt and nonce; the tag also covers AuthenticatedData(file), so set the info
// block, notice and public key before calling.
// The cost parameters default to DefaultScryptParams().
void ProtectPrivateKey(KeyFile& file, EVP_PKEY* key, const char* password,
                       const ScryptParams& params = DefaultScryptParams());

// Decrypts the private key. Throws KitError with HL_E_WRONG_PASSWORD when the
// tag does not match, HL_E_FILE_FORMAT when what decrypts is not the private
// half of the file's public key.
EvpPkeyPtr UnlockPrivateKey(const KeyFile& file, const char* password);

} // namespace kit
