#pragma once
// The key file: one RSA key pair with its info block, notice, public key,
// certificate slot and password-protected private key. The layout is written
// down in docs/kit-key-file-format.md; this is its only reader and writer.
#include "kit/HlKit.h"
#include "kit/KitCrypto.h"
#include "kit/SecureBytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit {

inline constexpr std::array<std::uint8_t, 8> kKeyFileMagic = {'Q', 'V', 'X', 'K', 'E', 'Y', '\r', '\n'};
inline constexpr std::uint16_t kKeyFileVersion = 1;
inline constexpr std::uint16_t kFlagCertificate = 0x0001;
inline constexpr std::uint8_t kKdfScrypt = 1;
inline constexpr std::size_t kSaltSize = 16;
inline constexpr std::size_t kMaxPrivateKeyCipherSize = 4096;
// Nothing we write comes near this; larger files are refused unread.
inline constexpr std::size_t kMaxKeyFileSize = 64 * 1024;

struct KeyFile {
    std::array<std::uint8_t, HL_INFO_SIZE> Info{};
    std::string Notice;
    std::array<std::uint8_t, HL_PUBLIC_KEY_SIZE> PublicKey{};
    bool HasCertificate = false;
    std::array<std::uint8_t, HL_CERTIFICATE_SIZE> Certificate{};
    ScryptParams Kdf;
    std::array<std::uint8_t, kSaltSize> Salt{};
    std::array<std::uint8_t, kGcmNonceSize> Nonce{};
    Bytes PrivateKeyCipher;
    std::array<std::uint8_t, kGcmTagSize> Tag{};
};

// Reads a key file image. Returns HL_OK and fills `out`, or HL_E_FILE_FORMAT
// (damaged, truncated, checksum wrong, values out of range) or
// HL_E_FILE_VERSION (a version this kit does not know). Never throws for bad
// input; the public key is checked to parse as our kind of RSA key.
std::int32_t ParseKeyFile(const std::uint8_t* data, std::size_t size, KeyFile& out);

// The file image, checksum included.
Bytes SerializeKeyFile(const KeyFile& file);

// The bytes that the private key's authentication tag covers besides the
// ciphertext: everything that only a holder of the password may change
// (magic, version, info block, notice, public key, key derivation, salt,
// nonce, ciphertext length). The certificate slot is left out because it is
// stored without the password.
Bytes AuthenticatedData(const KeyFile& file);

} // namespace kit
