#pragma once
// One open kit handle. In key-file mode it stands for one key file: the file
// is read when the handle opens, kept in memory, and every change is written
// back at once (atomically) before the in-memory copy takes it, so the file
// and the handle never disagree after a failed write. In hash-only mode the
// handle offers hashing and nothing else.
#include "kit/KeyFile.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kit {

class Medium {
public:
    // Throws KitError: HL_E_BAD_ARGUMENT for an unknown mode or a missing path,
    // or the code of reading/parsing an existing key file.
    Medium(std::int32_t mode, const char* path);

    std::int32_t mode() const { return mode_; }

    void Format();
    void Generate(const void* info, const char* notice, std::int32_t noticeLength, const char* password,
                  const char* passwordAgain, const void* seed, void* outArea);
    void GetPublicKey(void* out) const;
    void GetUserData(void* out) const;
    void UpdateUserData(const void* info, const char* password);
    void PutCertificate(const void* certificate);
    void ChangePassword(const char* oldPassword, const char* newPassword);
    void ChangeDefIntParam(std::int32_t parameter, std::int32_t value);
    void Sign(const void* digest, std::int32_t digestLength, void* signature, const char* password,
              std::int32_t hashAlgorithm) const;

private:
    void RequireKeyFileMode() const;
    const KeyFile& RequireKey() const;
    void Store(const KeyFile& next);

    std::int32_t mode_;
    std::string path_;
    bool formatted_ = false;
    std::int32_t padding_ = HL_PADDING_PKCS1_V15;
    std::optional<KeyFile> file_;
};

// Length of a password handed to the kit, refusing null and over-long ones.
std::size_t CheckedPasswordLength(const char* password);

} // namespace kit
