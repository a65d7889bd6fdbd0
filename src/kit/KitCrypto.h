#pragma once
// The kit's cryptographic primitives, all on OpenSSL 3 through EVP. Failures
// throw KitError (HL_E_CRYPTO unless said otherwise).
#include "kit/OpenSslHandles.h"
#include "kit/SecureBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kit {

inline constexpr int kRsaBits = 1024;
inline constexpr unsigned long kRsaExponent = 65537;
inline constexpr std::size_t kSha256Size = 32;
inline constexpr std::size_t kAesKeySize = 32;
inline constexpr std::size_t kGcmNonceSize = 12;
inline constexpr std::size_t kGcmTagSize = 16;

using Sha256Digest = std::array<std::uint8_t, kSha256Size>;

// Sets up OpenSSL's secure heap (memory locked against paging, left out of
// core dumps, wiped on release) for the whole process, unless it exists:
// the decrypted private key, its numbers inside OpenSSL and the derived keys
// then live there. True when the heap is there (locked or, when the
// system's limit refuses the lock, at least separate and wiped).
bool UseLockedMemory();

// SHA-256 over a stream of updates.
class Sha256Stream {
public:
    Sha256Stream();
    void Update(const void* data, std::size_t size);
    Sha256Digest Final();

private:
    EvpMdCtxPtr ctx_;
};

Sha256Digest Sha256(const void* data, std::size_t size);

// Fills the area from OpenSSL's generator.
void RandomBytes(void* out, std::size_t size);

// Mixes caller-supplied seed bytes into OpenSSL's generators as additional
// input; the generators keep drawing on the system's entropy as well, so the
// seed adds to the randomness and is never its only source.
void MixSeed(const void* seed, std::size_t size);

struct ScryptParams {
    std::uint8_t Log2N = 15;
    std::uint32_t R = 8;
    std::uint32_t P = 1;
};

// N * r * p of the parameters the kit writes (2^15, 8, 1), and how many
// times that a file may ask for.
inline constexpr std::uint64_t kScryptWrittenWork = (1ull << 15) * 8 * 1;
inline constexpr std::uint64_t kScryptMaxWorkFactor = 8;

// Bounds for parameters read from a file: what OpenSSL accepts, at most
// 256 MiB of memory and at most kScryptMaxWorkFactor times the work of the
// written parameters. A hostile file must not make the kit spend gigabytes
// or minutes.
bool ScryptParamsAcceptable(const ScryptParams& params);

// 32-byte key from a password with scrypt. Parameters that are not
// acceptable, or that OpenSSL refuses, throw HL_E_FILE_FORMAT.
SecureBytes DeriveKey(const char* password, std::size_t passwordLength, const std::uint8_t* salt,
                      std::size_t saltLength, const ScryptParams& params);

// AES-256-GCM. Seal returns the ciphertext and fills the tag; Open returns
// false when the tag does not match (wrong key or altered data).
Bytes AesGcmSeal(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad, const SecureBytes& plain,
                 std::uint8_t* tag);
bool AesGcmOpen(const SecureBytes& key, const std::uint8_t* nonce, const Bytes& aad, const Bytes& cipher,
                const std::uint8_t* tag, SecureBytes& plain);

// RSA-1024, e = 65537, with the seed mixed in first.
EvpPkeyPtr GenerateRsaKey(const void* seed, std::size_t seedSize);

// DER RSAPublicKey (PKCS#1), 140 bytes for our keys.
Bytes PublicKeyDer(EVP_PKEY* key);
// DER RSAPrivateKey (PKCS#1), in a cleansing buffer. Written without
// OpenSSL's encoder, which leaves an unwiped copy of what it encodes.
SecureBytes PrivateKeyDer(EVP_PKEY* key);
// Parses what the two functions above produce; null when it does not parse
// (strict DER, version 0) or is not an RSA-1024 key with e = 65537. Read
// without OpenSSL's decoder, which leaves an unwiped copy of its input; the
// key's numbers land in OpenSSL's secure heap when the kit has one.
EvpPkeyPtr LoadPrivateKey(const SecureBytes& der);
EvpPkeyPtr LoadPublicKey(const std::uint8_t* der, std::size_t size);

// RSA PKCS#1 v1.5 signature (block type 1) whose payload is the digest bytes
// themselves, without a DigestInfo wrapper.
Bytes SignDigest(EVP_PKEY* key, const std::uint8_t* digest, std::size_t size);

} // namespace kit
