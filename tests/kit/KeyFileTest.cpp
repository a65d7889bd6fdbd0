// The key library's inner parts: the key-file reader and writer, the
// protection of the private key, file replacement and the self-test.
#include "kit/KeyFileIo.h"
#include "kit/KeyFile.h"
#include "kit/KeyProtection.h"
#include "kit/KitError.h"
#include "kit/SelfTest.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <openssl/x509.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace kit;

namespace {

// Cheap derivation for tests that do not measure the cost.
const ScryptParams kFast{10, 8, 1};

struct Sample {
    EvpPkeyPtr key;
    KeyFile file;
};

Sample MakeSample(const char* password, const ScryptParams& params = kFast)
{
    std::uint8_t seed[HL_SEED_SIZE];
    std::fill(std::begin(seed), std::end(seed), 0x42);
    Sample s;
    s.key = GenerateRsaKey(seed, sizeof seed);
    for (std::size_t i = 0; i < s.file.Info.size(); ++i)
        s.file.Info[i] = static_cast<std::uint8_t>(i);
    s.file.Notice = "Aviso \xE9 um teste";
    const Bytes pub = PublicKeyDer(s.key.get());
    EXPECT_EQ(HL_PUBLIC_KEY_SIZE, pub.size());
    std::copy(pub.begin(), pub.end(), s.file.PublicKey.begin());
    ProtectPrivateKey(s.file, s.key.get(), password, params);
    return s;
}

void FixChecksum(Bytes& image)
{
    const Sha256Digest sum = Sha256(image.data(), image.size() - 32);
    std::copy(sum.begin(), sum.end(), image.end() - 32);
}

bool Contains(const Bytes& haystack, const std::uint8_t* needle, std::size_t n)
{
    return std::search(haystack.begin(), haystack.end(), needle, needle + n) != haystack.end();
}

int32_t CodeOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const KitError& e) {
        return e.Code;
    }
    return HL_OK;
}

TEST(KeyFile, RoundTripKeepsEveryFieldAndTheKeyOpensWithItsPassword)
{
    Sample s = MakeSample("SENHA123");
    s.file.HasCertificate = true;
    s.file.Certificate.fill(0x77);
    const Bytes image = SerializeKeyFile(s.file);
    EXPECT_EQ(502 + s.file.Notice.size() + s.file.PrivateKeyCipher.size() + 32, image.size());

    KeyFile back;
    ASSERT_EQ(HL_OK, ParseKeyFile(image.data(), image.size(), back));
    EXPECT_EQ(s.file.Info, back.Info);
    EXPECT_EQ(s.file.Notice, back.Notice);
    EXPECT_EQ(s.file.PublicKey, back.PublicKey);
    EXPECT_TRUE(back.HasCertificate);
    EXPECT_EQ(s.file.Certificate, back.Certificate);
    EXPECT_EQ(s.file.Salt, back.Salt);
    EXPECT_EQ(s.file.Nonce, back.Nonce);
    EXPECT_EQ(s.file.PrivateKeyCipher, back.PrivateKeyCipher);
    EXPECT_EQ(s.file.Tag, back.Tag);
    EXPECT_EQ(image, SerializeKeyFile(back));

    EvpPkeyPtr opened = UnlockPrivateKey(back, "SENHA123");
    ASSERT_TRUE(opened);
    EXPECT_EQ(1, EVP_PKEY_eq(opened.get(), s.key.get()));
    EXPECT_EQ(HL_E_WRONG_PASSWORD, CodeOf([&] { UnlockPrivateKey(back, "SENHA124"); }));
    // The certificate slot is outside the tag: storing one keeps the key usable.
    back.Certificate.fill(0x01);
    EXPECT_TRUE(UnlockPrivateKey(back, "SENHA123"));
}

TEST(KeyFile, PrivateKeyNeverAppearsInClear)
{
    Sample s = MakeSample("SENHA123");
    const Bytes image = SerializeKeyFile(s.file);
    const SecureBytes der = PrivateKeyDer(s.key.get());
    // The end of an RSAPrivateKey is private material (exponents, coefficient).
    ASSERT_GT(der.size(), 300u);
    for (std::size_t off = der.size() - 256; off + 16 <= der.size(); off += 16)
        EXPECT_FALSE(Contains(image, der.data() + off, 16)) << "private key bytes at " << off;
}

TEST(KeyFile, EveryTruncationAndEveryFlippedByteIsRefused)
{
    Sample s = MakeSample("SENHA123");
    const Bytes image = SerializeKeyFile(s.file);
    KeyFile out;
    for (std::size_t size = 0; size < image.size(); ++size)
        ASSERT_NE(HL_OK, ParseKeyFile(image.data(), size, out)) << "truncated to " << size;
    for (std::size_t i = 0; i < image.size(); ++i) {
        Bytes damaged = image;
        damaged[i] ^= 0x01;
        ASSERT_NE(HL_OK, ParseKeyFile(damaged.data(), damaged.size(), out)) << "byte " << i;
    }
    EXPECT_EQ(HL_E_FILE_FORMAT, ParseKeyFile(nullptr, 0, out));
}

TEST(KeyFile, OutOfRangeFieldsAreRefusedEvenWithAGoodChecksum)
{
    Sample s = MakeSample("SENHA123");
    const Bytes image = SerializeKeyFile(s.file);
    const std::size_t n = s.file.Notice.size();
    const std::size_t kdf = 446 + n;
    KeyFile out;
    auto refused = [&](std::size_t offset, std::uint8_t value) {
        Bytes b = image;
        b[offset] = value;
        FixChecksum(b);
        return ParseKeyFile(b.data(), b.size(), out);
    };
    EXPECT_EQ(HL_E_FILE_VERSION, refused(8, 2));
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(10, 0x02));          // unknown flag
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(254 + n, 0x09));     // empty slot not zero
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf, 2));            // unknown derivation
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf + 1, 9));        // too cheap
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf + 1, 21));       // too costly
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf + 2, 0));        // r = 0
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf + 2, 33));       // r too large
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(kdf + 6, 0));        // p = 0
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(112, 0xFF));         // notice longer than the file
    EXPECT_EQ(HL_E_FILE_FORMAT, refused(114 + n + 3, 0x05)); // public key no longer DER
    // Only the checksum wrong.
    Bytes b = image;
    b.back() ^= 1;
    EXPECT_EQ(HL_E_FILE_FORMAT, ParseKeyFile(b.data(), b.size(), out));

    EXPECT_TRUE(ScryptParamsAcceptable({20, 2, 1}));
    EXPECT_FALSE(ScryptParamsAcceptable({20, 32, 1})) << "4 GiB of memory";
    EXPECT_TRUE(ScryptParamsAcceptable(DefaultScryptParams()));
}

TEST(KeyFile, AuthenticatedFieldsAndForeignKeysDoNotOpen)
{
    Sample a = MakeSample("SENHA123");
    Sample b = MakeSample("SENHA123");
    KeyFile swapped = a.file;
    swapped.PublicKey = b.file.PublicKey;
    EXPECT_EQ(HL_E_WRONG_PASSWORD, CodeOf([&] { UnlockPrivateKey(swapped, "SENHA123"); }));
    KeyFile renamed = a.file;
    renamed.Notice += "!";
    EXPECT_EQ(HL_E_WRONG_PASSWORD, CodeOf([&] { UnlockPrivateKey(renamed, "SENHA123"); }));
    KeyFile cut = a.file;
    cut.PrivateKeyCipher.pop_back();
    EXPECT_EQ(HL_E_WRONG_PASSWORD, CodeOf([&] { UnlockPrivateKey(cut, "SENHA123"); }));
}

TEST(KeyFile, SealingTwiceUsesFreshSaltAndNonce)
{
    Sample s = MakeSample("SENHA123");
    KeyFile again = s.file;
    ProtectPrivateKey(again, s.key.get(), "SENHA123", kFast);
    EXPECT_NE(s.file.Salt, again.Salt);
    EXPECT_NE(s.file.Nonce, again.Nonce);
    EXPECT_NE(s.file.PrivateKeyCipher, again.PrivateKeyCipher);
}

TEST(KeyFileIo, ReplacesWholeFilesAndFailsCleanly)
{
    const testsupport::TempFolder tmp("kitfile");
    const fs::path dir = tmp.Path();
    const std::string path = (dir / "k.PRI").string();
    const std::uint8_t first[] = {1, 2, 3, 4, 5};
    const std::uint8_t second[] = {9};
    ASSERT_TRUE(WriteFileAtomically(path, first, sizeof first));
    ASSERT_TRUE(WriteFileAtomically(path, second, sizeof second));
    std::string content;
    bool missing = true;
    ASSERT_EQ(HL_OK, ReadWholeFile(path, 100, content, missing));
    EXPECT_EQ(std::string(1, '\x09'), content);
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(path).permissions());

    EXPECT_EQ(HL_E_FILE_FORMAT, ReadWholeFile(path, 0, content, missing)) << "larger than allowed";
    EXPECT_EQ(HL_E_FILE_FORMAT, ReadWholeFile(dir.string(), 100, content, missing)) << "a folder";
    EXPECT_EQ(HL_E_FILE_OPEN, ReadWholeFile((dir / "none").string(), 100, content, missing));
    EXPECT_TRUE(missing);

    EXPECT_FALSE(WriteFileAtomically((dir / "no" / "k.PRI").string(), first, sizeof first));
    EXPECT_FALSE(WriteFileAtomically("", first, sizeof first));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir))
        ++entries;
    EXPECT_EQ(1u, entries) << "no temporary file may be left behind";
}

TEST(SelfTest, PassesOnPublishedVectorsAndFailsOnAnyAlteredAnswer)
{
    EXPECT_TRUE(RunSelfTest(StandardKnownAnswers()));
    for (Bytes KnownAnswers::*field : {&KnownAnswers::HashExpected, &KnownAnswers::GcmCipher, &KnownAnswers::GcmTag,
                                       &KnownAnswers::GcmPlain, &KnownAnswers::GcmAad, &KnownAnswers::GcmKey}) {
        KnownAnswers altered = StandardKnownAnswers();
        (altered.*field).back() ^= 0x80;
        EXPECT_FALSE(RunSelfTest(altered));
    }
    KnownAnswers shortNonce = StandardKnownAnswers();
    shortNonce.GcmNonce.pop_back();
    EXPECT_FALSE(RunSelfTest(shortNonce));
}

} // namespace

namespace {

// A key file whose scrypt parameters were set to Params, checksum recomputed.
Bytes WithScrypt(const Bytes& image, std::size_t kdf, const ScryptParams& params)
{
    Bytes b = image;
    b[kdf + 1] = params.Log2N;
    for (std::size_t i = 0; i < 4; ++i) {
        b[kdf + 2 + i] = static_cast<std::uint8_t>(params.R >> (8 * i));
        b[kdf + 6 + i] = static_cast<std::uint8_t>(params.P >> (8 * i));
    }
    FixChecksum(b);
    return b;
}

} // namespace

// A file may ask for the parameters the kit writes, cheaper ones, or a few
// times the work; not for the minute-long derivations a tampered file could
// ask for, nor for what OpenSSL refuses, which is a damaged file too.
TEST(KeyFile, ScryptParametersAreBoundedByWhatTheKitWrites)
{
    Sample s = MakeSample("SENHA123");
    const Bytes image = SerializeKeyFile(s.file);
    const std::size_t kdf = 446 + s.file.Notice.size();
    struct Case {
        ScryptParams params;
        bool accepted;
        const char* why;
    };
    const Case cases[] = {
        {{15, 8, 1}, true, "as written"},
        {{10, 8, 1}, true, "cheaper"},
        {{16, 8, 2}, true, "four times the work"},
        {{18, 8, 1}, true, "eight times"},
        {{18, 8, 2}, false, "sixteen times"},
        {{17, 16, 16}, false, "128 times, within the memory bound"},
        {{15, 8, 16}, false, "sixteen times through p alone"},
        {{16, 1, 1}, false, "OpenSSL refuses N >= 2^(16 r)"},
        {{20, 1, 1}, false, "OpenSSL refuses N >= 2^(16 r)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(c.accepted, ScryptParamsAcceptable(c.params));
        const Bytes b = WithScrypt(image, kdf, c.params);
        KeyFile out;
        EXPECT_EQ(c.accepted ? HL_OK : HL_E_FILE_FORMAT, ParseKeyFile(b.data(), b.size(), out));
        if (!c.accepted) {
            const std::uint8_t salt[16] = {};
            EXPECT_EQ(HL_E_FILE_FORMAT, CodeOf([&] { DeriveKey("x", 1, salt, sizeof salt, c.params); }));
        }
    }
}

// The private key's DER is written and read without OpenSSL's encoder and
// decoder (which leave unwiped copies behind): it must be exactly what
// OpenSSL writes, and anything but strict DER of that shape is refused.
TEST(KeyFile, PrivateKeyDerIsOpenSslsAndReadStrictly)
{
    Sample s = MakeSample("SENHA123");
    const SecureBytes der = PrivateKeyDer(s.key.get());
    const int length = i2d_PrivateKey(s.key.get(), nullptr);
    ASSERT_GT(length, 0);
    SecureBytes reference(static_cast<std::size_t>(length));
    unsigned char* p = reference.data();
    ASSERT_EQ(length, i2d_PrivateKey(s.key.get(), &p));
    EXPECT_EQ(der, reference);

    EvpPkeyPtr back = LoadPrivateKey(der);
    ASSERT_TRUE(back);
    EXPECT_EQ(1, EVP_PKEY_eq(back.get(), s.key.get()));
    // The key that was read signs like the original.
    const std::uint8_t digest[HL_DIGEST_SIZE] = {1, 2, 3};
    EXPECT_EQ(SignDigest(back.get(), digest, sizeof digest), SignDigest(s.key.get(), digest, sizeof digest));

    auto altered = [&](const std::function<void(SecureBytes&)>& change) {
        SecureBytes b = der;
        change(b);
        return LoadPrivateKey(b) == nullptr;
    };
    EXPECT_TRUE(altered([](SecureBytes& b) { b.push_back(0); })) << "a byte after the key";
    EXPECT_TRUE(altered([](SecureBytes& b) { b.pop_back(); })) << "cut short";
    EXPECT_TRUE(altered([](SecureBytes& b) { b[0] = 0x31; })) << "not a SEQUENCE";
    // The version INTEGER follows the two-byte long-form length of the SEQUENCE.
    ASSERT_EQ(der[1], 0x82);
    EXPECT_TRUE(altered([](SecureBytes& b) { b[6] = 1; })) << "version 1";
    // The modulus: tag, two length bytes, then the zero that keeps it positive.
    ASSERT_EQ(der[10], 0x00);
    EXPECT_TRUE(altered([](SecureBytes& b) { b[10] = 0x80; })) << "a negative modulus";
    EXPECT_TRUE(LoadPrivateKey(SecureBytes{}) == nullptr);
    EXPECT_TRUE(LoadPrivateKey(SecureBytes{0x30, 0x00}) == nullptr);
}

// Replacing a key file that others could read leaves one only its owner reads.
TEST(KeyFileIo, ReplacedKeyFilesBecomeTheOwnersOnly)
{
    const testsupport::TempFolder tmp("kitmode");
    const fs::path dir = tmp.Path();
    const std::string path = (dir / "k.PRI").string();
    const std::uint8_t first[] = {1, 2, 3};
    ASSERT_TRUE(WriteFileAtomically(path, first, sizeof first));
    fs::permissions(path,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(WriteFileAtomically(path, first, sizeof first));
    EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write, fs::status(path).permissions());
}
