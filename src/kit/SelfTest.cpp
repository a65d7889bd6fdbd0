#include "kit/SelfTest.h"

#include "kit/KitCrypto.h"
#include "kit/KitError.h"

#include <string_view>

namespace kit {

namespace {

Bytes FromHex(std::string_view hex)
{
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9')
            return static_cast<std::uint8_t>(c - '0');
        return static_cast<std::uint8_t>(c - 'a' + 10);
    };
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    return out;
}

SecureBytes ToSecure(const Bytes& b)
{
    return SecureBytes(b.begin(), b.end());
}

} // namespace

const KnownAnswers& StandardKnownAnswers()
{
    static const KnownAnswers answers{
        Bytes{'a', 'b', 'c'},
        FromHex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
        FromHex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308"),
        FromHex("cafebabefacedbaddecaf888"),
        FromHex("feedfacedeadbeeffeedfacedeadbeefabaddad2"),
        FromHex("d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
                "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b39"),
        FromHex("522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
                "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662"),
        FromHex("76fc6ece0f4e1768cddf8853bb2d551b"),
    };
    return answers;
}

bool RunSelfTest(const KnownAnswers& a) noexcept
{
    try {
        const Sha256Digest digest = Sha256(a.HashInput.data(), a.HashInput.size());
        if (Bytes(digest.begin(), digest.end()) != a.HashExpected)
            return false;
        if (a.GcmNonce.size() != kGcmNonceSize || a.GcmTag.size() != kGcmTagSize)
            return false;
        const SecureBytes key = ToSecure(a.GcmKey);
        std::uint8_t tag[kGcmTagSize] = {};
        const Bytes cipher = AesGcmSeal(key, a.GcmNonce.data(), a.GcmAad, ToSecure(a.GcmPlain), tag);
        if (cipher != a.GcmCipher || Bytes(tag, tag + kGcmTagSize) != a.GcmTag)
            return false;
        SecureBytes plain;
        if (!AesGcmOpen(key, a.GcmNonce.data(), a.GcmAad, a.GcmCipher, a.GcmTag.data(), plain)
            || Bytes(plain.begin(), plain.end()) != a.GcmPlain)
            return false;
        Bytes badTag = a.GcmTag;
        badTag[0] ^= 1;
        SecureBytes ignored;
        if (AesGcmOpen(key, a.GcmNonce.data(), a.GcmAad, a.GcmCipher, badTag.data(), ignored))
            return false;
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace kit
