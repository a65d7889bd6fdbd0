#include "kit/Medium.h"

#include "kit/KeyFileIo.h"
#include "kit/CertificateLayout.h"
#include "kit/KitCrypto.h"
#include "kit/KeyProtection.h"
#include "kit/KitError.h"

#include <cstring>

namespace kit {

std::size_t CheckedPasswordLength(const char* password)
{
    if (password == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    const std::size_t length = ::strnlen(password, HL_MAX_PASSWORD_LENGTH + 1);
    if (length > HL_MAX_PASSWORD_LENGTH)
        Fail(HL_E_BAD_ARGUMENT);
    return length;
}

Medium::Medium(std::int32_t mode, const char* path) : mode_(mode)
{
    if (mode == HL_MODE_HASH_ONLY)
        return;
    if (mode != HL_MODE_KEY_FILE || path == nullptr || *path == '\0')
        Fail(HL_E_BAD_ARGUMENT);
    path_ = path;
    std::string content;
    bool missing = false;
    const std::int32_t read = ReadWholeFile(path_, kMaxKeyFileSize, content, missing);
    if (read != HL_OK) {
        // A key file that does not exist yet is an empty medium, ready for
        // hl_format and hl_generate.
        if (missing)
            return;
        Fail(read);
    }
    KeyFile file;
    const std::int32_t parsed =
        ParseKeyFile(reinterpret_cast<const std::uint8_t*>(content.data()), content.size(), file);
    if (parsed != HL_OK)
        Fail(parsed);
    file_ = std::move(file);
}

void Medium::RequireKeyFileMode() const
{
    if (mode_ != HL_MODE_KEY_FILE)
        Fail(HL_E_BAD_HANDLE);
}

const KeyFile& Medium::RequireKey() const
{
    RequireKeyFileMode();
    if (!file_)
        Fail(HL_E_NO_KEY);
    return *file_;
}

void Medium::Store(const KeyFile& next)
{
    const Bytes image = SerializeKeyFile(next);
    if (!WriteFileAtomically(path_, image.data(), image.size()))
        Fail(HL_E_FILE_WRITE);
    file_ = next;
}

void Medium::Format()
{
    RequireKeyFileMode();
    formatted_ = true;
}

void Medium::Generate(const void* info, const char* notice, std::int32_t noticeLength, const char* password,
                      const char* passwordAgain, const void* seed, void* outArea)
{
    RequireKeyFileMode();
    if (outArea != nullptr)
        std::memset(outArea, 0, HL_GENERATE_OUT_SIZE);
    if (!formatted_)
        Fail(HL_E_NOT_FORMATTED);
    if (info == nullptr || seed == nullptr || noticeLength < 0 || noticeLength > HL_MAX_NOTICE_LENGTH
        || (notice == nullptr && noticeLength > 0))
        Fail(HL_E_BAD_ARGUMENT);
    const std::size_t length = CheckedPasswordLength(password);
    const std::size_t lengthAgain = CheckedPasswordLength(passwordAgain);
    // An empty password would leave the private key open to anyone.
    if (length == 0)
        Fail(HL_E_BAD_ARGUMENT);
    if (length != lengthAgain || std::memcmp(password, passwordAgain, length) != 0)
        Fail(HL_E_PASSWORD_MISMATCH);

    KeyFile next;
    std::memcpy(next.Info.data(), info, next.Info.size());
    if (noticeLength > 0)
        next.Notice.assign(notice, static_cast<std::size_t>(noticeLength));
    EvpPkeyPtr key = GenerateRsaKey(seed, HL_SEED_SIZE);
    const Bytes pub = PublicKeyDer(key.get());
    if (pub.size() != next.PublicKey.size())
        Fail(HL_E_CRYPTO);
    std::memcpy(next.PublicKey.data(), pub.data(), pub.size());
    ProtectPrivateKey(next, key.get(), password);
    Store(next);
    formatted_ = false;
}

void Medium::GetPublicKey(void* out) const
{
    if (out == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    const KeyFile& file = RequireKey();
    std::memcpy(out, file.PublicKey.data(), file.PublicKey.size());
}

void Medium::GetUserData(void* out) const
{
    if (out == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    const KeyFile& file = RequireKey();
    std::memcpy(out, file.Info.data(), file.Info.size());
}

void Medium::UpdateUserData(const void* info, const char* password)
{
    if (info == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    CheckedPasswordLength(password);
    const KeyFile& file = RequireKey();
    EvpPkeyPtr key = UnlockPrivateKey(file, password);
    // The info block is bound to the private key's tag, so it is sealed again,
    // under the same password, with a fresh salt and nonce.
    KeyFile next = file;
    std::memcpy(next.Info.data(), info, next.Info.size());
    ProtectPrivateKey(next, key.get(), password);
    Store(next);
}

namespace {

// Whether the certificate is one of ours and names this public key. The
// authority's signature is not looked at: the kit does not know its key.
bool CertificateNamesKey(const std::uint8_t* cert, const std::uint8_t* publicKey)
{
    static_assert(certificate::kSize == HL_CERTIFICATE_SIZE);
    if (std::memcmp(cert + certificate::kOffsetMagic, certificate::kMagic, sizeof certificate::kMagic) != 0
        || cert[certificate::kOffsetVersion] != certificate::kVersion)
        return false;
    const Sha256Digest digest = Sha256(publicKey, HL_PUBLIC_KEY_SIZE);
    return std::memcmp(cert + certificate::kOffsetKeyDigest, digest.data(), certificate::kKeyDigestSize) == 0;
}

} // namespace

void Medium::PutCertificate(const void* certificate)
{
    if (certificate == nullptr)
        Fail(HL_E_BAD_ARGUMENT);
    KeyFile next = RequireKey();
    // A certificate issued for another key would sit in this key file as if it
    // were its own; it is refused and the file stays as it was.
    if (!CertificateNamesKey(static_cast<const std::uint8_t*>(certificate), next.PublicKey.data()))
        Fail(HL_E_CERTIFICATE_KEY);
    std::memcpy(next.Certificate.data(), certificate, next.Certificate.size());
    next.HasCertificate = true;
    Store(next);
}

void Medium::ChangePassword(const char* oldPassword, const char* newPassword)
{
    CheckedPasswordLength(oldPassword);
    if (CheckedPasswordLength(newPassword) == 0)
        Fail(HL_E_BAD_ARGUMENT);
    const KeyFile& file = RequireKey();
    EvpPkeyPtr key = UnlockPrivateKey(file, oldPassword);
    KeyFile next = file;
    ProtectPrivateKey(next, key.get(), newPassword);
    Store(next);
}

void Medium::ChangeDefIntParam(std::int32_t parameter, std::int32_t value)
{
    if (parameter != HL_PARAM_SIGN_PADDING || value != HL_PADDING_PKCS1_V15)
        Fail(HL_E_BAD_ARGUMENT);
    padding_ = value;
}

void Medium::Sign(const void* digest, std::int32_t digestLength, void* signature, const char* password,
                  std::int32_t hashAlgorithm) const
{
    if (digest == nullptr || signature == nullptr || digestLength != HL_DIGEST_SIZE
        || hashAlgorithm != HL_HASH_ALG_SHA256_16 || padding_ != HL_PADDING_PKCS1_V15)
        Fail(HL_E_BAD_ARGUMENT);
    CheckedPasswordLength(password);
    const KeyFile& file = RequireKey();
    EvpPkeyPtr key = UnlockPrivateKey(file, password);
    const Bytes sig = SignDigest(key.get(), static_cast<const std::uint8_t*>(digest), HL_DIGEST_SIZE);
    std::memcpy(signature, sig.data(), sig.size());
}

} // namespace kit
