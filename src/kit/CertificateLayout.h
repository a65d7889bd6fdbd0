#pragma once
// The 192-byte certificate that the certification authority issues for one
// key pair (docs/certificate-format.md). Shared by the key library, which
// checks that a certificate names the key it is put into, by the receiving
// step, which checks that it carries the identifier of the response, and by
// the authority's tool, which writes certificates. Constants only.
#include <cstddef>
#include <cstdint>

namespace certificate {

inline constexpr std::size_t kSize = 192;
inline constexpr std::uint8_t kMagic[4] = {'Q', 'V', 'C', 'T'};
inline constexpr std::uint8_t kVersion = 1;

inline constexpr std::size_t kOffsetMagic = 0;
inline constexpr std::size_t kOffsetVersion = 4;
inline constexpr std::size_t kOffsetReserved = 5;
inline constexpr std::size_t kOffsetKeyDigest = 6;
inline constexpr std::size_t kKeyDigestSize = 24; // leading bytes of SHA-256(public key)
inline constexpr std::size_t kOffsetIdentifier = 30;
inline constexpr std::size_t kIdentifierSize = 26;
inline constexpr std::size_t kOffsetValidFrom = 56;
inline constexpr std::size_t kOffsetValidUntil = 60;
inline constexpr std::size_t kSignedSize = 64; // the signature covers bytes 0..63
inline constexpr std::size_t kOffsetSignature = 64;
inline constexpr std::size_t kSignatureSize = 128;

static_assert(kOffsetKeyDigest + kKeyDigestSize == kOffsetIdentifier);
static_assert(kOffsetIdentifier + kIdentifierSize == kOffsetValidFrom);
static_assert(kOffsetValidUntil + 4 == kSignedSize);
static_assert(kOffsetSignature + kSignatureSize == kSize);

} // namespace certificate
