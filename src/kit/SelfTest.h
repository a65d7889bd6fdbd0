#pragma once
// The kit's known-answer test of its hash and its cipher, run once when the
// key library is loaded: a broken or tampered OpenSSL must not be trusted
// with keys.
#include "kit/SecureBytes.h"

namespace kit {

struct KnownAnswers {
    Bytes HashInput;
    Bytes HashExpected; // SHA-256
    Bytes GcmKey;
    Bytes GcmNonce;
    Bytes GcmAad;
    Bytes GcmPlain;
    Bytes GcmCipher;
    Bytes GcmTag;
};

// Published test vectors: SHA-256 of "abc" (FIPS 180-2) and the AES-256-GCM
// case with additional data from the published GCM test vectors.
const KnownAnswers& StandardKnownAnswers();

// True when encryption gives the expected ciphertext and tag, decryption gives
// the plain text back, a damaged tag is refused, and the hash matches.
// Never throws.
bool RunSelfTest(const KnownAnswers& answers) noexcept;

} // namespace kit
