#pragma once
// A text's fingerprint as the program stores it (32 upper-case hex digits of
// SHA-256 cut to 16 bytes), computed with OpenSSL, independently of the kit.
#include <openssl/evp.h>

#include "support/FileBytes.h"

#include <string>

namespace testsupport {

inline std::string ExpectedFingerprint(const std::string& text)
{
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

} // namespace testsupport
