// The key library as the client uses it: loaded with dlopen from the
// program's folder, every hl_ function driven through its C interface, and
// every result checked against OpenSSL on the outside.
#include "KitLibrary.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kittest::KitLibrary;

namespace {

using Bytes = std::vector<unsigned char>;

// A notice with a Windows-1252 byte in it: the kit keeps bytes, not text.
const std::string kNotice = "Atenc\xE3o: aviso de teste gravado no arquivo de chaves.";
const char* const kPassword = "SENHA1234ABCD";

struct TempDir {
    testsupport::TempFolder folder{"kittest"};
    fs::path path{folder.Path()};
};

Bytes ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const Bytes& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

std::array<unsigned char, HL_INFO_SIZE> MakeInfo(const std::string& identity, const std::string& razao)
{
    std::array<unsigned char, HL_INFO_SIZE> info{};
    std::memcpy(info.data(), identity.data(), std::min<std::size_t>(identity.size(), 32));
    std::memcpy(info.data() + 32, razao.data(), std::min<std::size_t>(razao.size(), 39));
    info[72] = 128;
    return info;
}

// Offsets of the documented layout that the tests poke at.
struct Layout {
    std::size_t noticeLength;
    std::size_t info() const { return 12; }
    std::size_t publicKey() const { return 114 + noticeLength; }
    std::size_t certificate() const { return publicKey() + HL_PUBLIC_KEY_SIZE; }
    std::size_t kdf() const { return certificate() + HL_CERTIFICATE_SIZE; }
    std::size_t salt() const { return kdf() + 10; }
    std::size_t nonce() const { return salt() + 16; }
    std::size_t cipherLength() const { return nonce() + 12; }
    std::size_t cipher() const { return cipherLength() + 2; }
};

// Recomputes the trailing SHA-256 after a test altered the image on purpose.
void FixChecksum(Bytes& image)
{
    unsigned int length = 0;
    EVP_Digest(image.data(), image.size() - 32, image.data() + image.size() - 32, &length, EVP_sha256(), nullptr);
}

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

PkeyPtr ParsePublicKey(const unsigned char* der, std::size_t size)
{
    const unsigned char* p = der;
    PkeyPtr key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(size)));
    if (p != der + size)
        return nullptr;
    return key;
}

bool Verify(EVP_PKEY* key, const unsigned char* digest, std::size_t digestSize, const unsigned char* sig)
{
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    return ctx && EVP_PKEY_verify_init(ctx.get()) == 1
           && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1
           && EVP_PKEY_verify(ctx.get(), sig, HL_SIGNATURE_SIZE, digest, digestSize) == 1;
}

using Certificate = std::array<unsigned char, HL_CERTIFICATE_SIZE>;

// A certificate naming the given public key (magic, version, key digest),
// the rest filled with `fill`; docs/certificate-format.md.
Certificate CertificateFor(const Bytes& publicKey, unsigned char fill)
{
    Certificate c;
    c.fill(fill);
    std::memcpy(c.data(), "QVCT", 4);
    c[4] = 1;
    c[5] = 0;
    unsigned char full[32];
    unsigned int length = 0;
    EVP_Digest(publicKey.data(), publicKey.size(), full, &length, EVP_sha256(), nullptr);
    std::memcpy(c.data() + 6, full, 24);
    return c;
}

Bytes Sha256Prefix(const std::string& data)
{
    unsigned char full[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), full, &length, EVP_sha256(), nullptr);
    return Bytes(full, full + HL_DIGEST_SIZE);
}

class KeyLibraryTest : public ::testing::Test {
protected:
    KitLibrary kit{QUORVEX_APP_DIR HL_KIT_LIBRARY_NAME};
    TempDir dir;
    std::array<unsigned char, HL_SEED_SIZE> seed{};

    void SetUp() override
    {
        ASSERT_TRUE(kit.ok()) << kit.error;
        for (std::size_t i = 0; i < seed.size(); ++i)
            seed[i] = static_cast<unsigned char>(i * 7 + 1);
    }

    fs::path KeyPath(const char* name = "{KEY}.PRI") const { return dir.path / name; }

    int32_t Open(const fs::path& p, int32_t& h) { return kit.on(&h, HL_MODE_KEY_FILE, p.c_str()); }

    // The client's generation sequence; returns the first failing code.
    int32_t Generate(const fs::path& p, const std::array<unsigned char, HL_INFO_SIZE>& info,
                     const char* password = kPassword, const char* again = nullptr)
    {
        int32_t h = -1;
        if (int32_t r = Open(p, h))
            return r;
        int32_t r = kit.format(h);
        std::array<unsigned char, HL_GENERATE_OUT_SIZE> out;
        out.fill(0xAA);
        if (r == 0)
            r = kit.generate(h, info.data(), kNotice.data(), static_cast<int32_t>(kNotice.size()), password,
                             again ? again : password, seed.data(), out.data());
        EXPECT_EQ(0, kit.off(h));
        return r;
    }

    int32_t Sign(const fs::path& p, const Bytes& digest, const char* password,
                 std::array<unsigned char, HL_SIGNATURE_SIZE>& sig)
    {
        int32_t h = -1;
        if (int32_t r = Open(p, h))
            return r;
        int32_t r = kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, HL_PADDING_PKCS1_V15);
        if (r == 0)
            r = kit.sign(h, digest.data(), HL_DIGEST_SIZE, sig.data(), password, HL_HASH_ALG_SHA256_16);
        EXPECT_EQ(0, kit.off(h));
        return r;
    }

    Bytes PublicKey(const fs::path& p)
    {
        int32_t h = -1;
        EXPECT_EQ(0, Open(p, h));
        Bytes pub(HL_PUBLIC_KEY_SIZE);
        EXPECT_EQ(0, kit.getPublicKey(h, pub.data()));
        EXPECT_EQ(0, kit.off(h));
        return pub;
    }

    std::array<unsigned char, HL_INFO_SIZE> UserData(const fs::path& p)
    {
        int32_t h = -1;
        EXPECT_EQ(0, Open(p, h));
        std::array<unsigned char, HL_INFO_SIZE> info{};
        EXPECT_EQ(0, kit.getUserData(h, info.data()));
        EXPECT_EQ(0, kit.off(h));
        return info;
    }

    Bytes Hash(int32_t h, const std::string& data, std::size_t chunk)
    {
        HlHashAlgDetails details{};
        details.size = HL_DETAILS_SIZE;
        EXPECT_EQ(0, kit.getHashAlgDetails(h, HL_HASH_ALG_SHA256_16, &details));
        std::vector<unsigned char> context(static_cast<std::size_t>(details.contextSize));
        EXPECT_EQ(0, kit.initHash(h, HL_HASH_ALG_SHA256_16, context.data()));
        std::size_t pos = 0;
        do {
            const std::size_t n = std::min(chunk, data.size() - pos);
            EXPECT_EQ(0, kit.contHash(context.data(), data.data() + pos, static_cast<int32_t>(n)));
            pos += n;
        } while (pos < data.size());
        Bytes digest(HL_DIGEST_SIZE);
        EXPECT_EQ(0, kit.endHash(context.data(), digest.data()));
        return digest;
    }
};

TEST_F(KeyLibraryTest, GeneratedKeyIsReadSignedAndVerifiedWithItsPublicKey)
{
    const auto info = MakeInfo("ABCDEFGHIJKLMNOPQRSTUVWXYZ", std::string("Empresa \0 Teste", 15));
    ASSERT_EQ(0, Generate(KeyPath(), info));

    const Bytes pub = PublicKey(KeyPath());
    ASSERT_EQ(HL_PUBLIC_KEY_SIZE, pub.size());
    PkeyPtr key = ParsePublicKey(pub.data(), pub.size());
    ASSERT_TRUE(key) << "public key is not a DER RSAPublicKey";
    EXPECT_EQ(1024, EVP_PKEY_get_bits(key.get()));
    BIGNUM* e = nullptr;
    ASSERT_EQ(1, EVP_PKEY_get_bn_param(key.get(), "e", &e));
    EXPECT_TRUE(BN_is_word(e, 65537));
    BN_free(e);

    // All 100 bytes come back, NULs inside included.
    EXPECT_EQ(info, UserData(KeyPath()));

    const Bytes digest = Sha256Prefix("texto da requisicao");
    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    ASSERT_EQ(0, Sign(KeyPath(), digest, kPassword, sig));
    EXPECT_TRUE(Verify(key.get(), digest.data(), digest.size(), sig.data()));
    Bytes otherDigest = digest;
    otherDigest[0] ^= 1;
    EXPECT_FALSE(Verify(key.get(), otherDigest.data(), otherDigest.size(), sig.data()));

    // The notice is kept byte for byte at its documented place.
    const Bytes image = ReadFile(KeyPath());
    ASSERT_GT(image.size(), 114 + kNotice.size());
    EXPECT_EQ(kNotice,
              std::string(image.begin() + 114, image.begin() + 114 + static_cast<std::ptrdiff_t>(kNotice.size())));
    EXPECT_EQ(0, std::memcmp(image.data() + Layout{kNotice.size()}.publicKey(), pub.data(), pub.size()));
}

TEST_F(KeyLibraryTest, WrongPasswordIsAnswered40979AndChangesNothing)
{
    ASSERT_EQ(0, Generate(KeyPath(), MakeInfo("ID", "Razao")));
    const Bytes before = ReadFile(KeyPath());

    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    EXPECT_EQ(HL_E_WRONG_PASSWORD, Sign(KeyPath(), Sha256Prefix("x"), "SENHA1234ABCE", sig));
    EXPECT_EQ(HL_E_WRONG_PASSWORD, Sign(KeyPath(), Sha256Prefix("x"), "", sig));

    int32_t h = -1;
    ASSERT_EQ(0, Open(KeyPath(), h));
    const auto info = MakeInfo("OUTRO", "Outra");
    EXPECT_EQ(HL_E_WRONG_PASSWORD, kit.updateUserData(h, info.data(), "ERRADA12"));
    EXPECT_EQ(HL_E_WRONG_PASSWORD, kit.changePassword(h, "ERRADA12", "NOVASENHA1"));
    // The handle stays usable after a refusal.
    EXPECT_EQ(0, kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, HL_PADDING_PKCS1_V15));
    EXPECT_EQ(0, kit.sign(h, Sha256Prefix("x").data(), HL_DIGEST_SIZE, sig.data(), kPassword, HL_HASH_ALG_SHA256_16));
    EXPECT_EQ(0, kit.off(h));
    EXPECT_EQ(before, ReadFile(KeyPath()));
}

TEST_F(KeyLibraryTest, ChangePasswordReencryptsWithFreshSaltAndNonce)
{
    ASSERT_EQ(0, Generate(KeyPath(), MakeInfo("ID", "Razao")));
    const Layout at{kNotice.size()};
    const Bytes first = ReadFile(KeyPath());
    const Bytes pub = PublicKey(KeyPath());

    int32_t h = -1;
    ASSERT_EQ(0, Open(KeyPath(), h));
    ASSERT_EQ(0, kit.changePassword(h, kPassword, "NOVASENHA1"));
    EXPECT_EQ(HL_E_WRONG_PASSWORD, kit.changePassword(h, kPassword, "OUTRASENHA"));
    ASSERT_EQ(0, kit.off(h));
    const Bytes second = ReadFile(KeyPath());

    // Same password again: still a fresh salt and nonce.
    ASSERT_EQ(0, Open(KeyPath(), h));
    ASSERT_EQ(0, kit.changePassword(h, "NOVASENHA1", "NOVASENHA1"));
    ASSERT_EQ(0, kit.off(h));
    const Bytes third = ReadFile(KeyPath());

    auto field = [](const Bytes& b, std::size_t off, std::size_t n) {
        return Bytes(b.data() + off, b.data() + off + n);
    };
    EXPECT_NE(field(first, at.salt(), 16), field(second, at.salt(), 16));
    EXPECT_NE(field(second, at.salt(), 16), field(third, at.salt(), 16));
    EXPECT_NE(field(first, at.nonce(), 12), field(second, at.nonce(), 12));
    EXPECT_NE(field(second, at.nonce(), 12), field(third, at.nonce(), 12));
    EXPECT_NE(field(second, at.cipher(), 64), field(third, at.cipher(), 64));

    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    EXPECT_EQ(HL_E_WRONG_PASSWORD, Sign(KeyPath(), Sha256Prefix("y"), kPassword, sig));
    ASSERT_EQ(0, Sign(KeyPath(), Sha256Prefix("y"), "NOVASENHA1", sig));
    PkeyPtr key = ParsePublicKey(pub.data(), pub.size());
    ASSERT_TRUE(key);
    EXPECT_TRUE(Verify(key.get(), Sha256Prefix("y").data(), HL_DIGEST_SIZE, sig.data()));
    EXPECT_EQ(pub, PublicKey(KeyPath()));
}

TEST_F(KeyLibraryTest, UserDataUpdateAndCertificateAreStoredAndKeepTheKeyUsable)
{
    ASSERT_EQ(0, Generate(KeyPath(), MakeInfo("PROVISORIO", "Empresa")));
    auto info = UserData(KeyPath());
    std::memcpy(info.data(), "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 26);

    Certificate certificate = CertificateFor(PublicKey(KeyPath()), 0);
    for (std::size_t i = 30; i < certificate.size(); ++i)
        certificate[i] = static_cast<unsigned char>(255 - i);

    // The receiving sequence: read, update under the password, store the certificate.
    int32_t h = -1;
    ASSERT_EQ(0, Open(KeyPath(), h));
    ASSERT_EQ(0, kit.updateUserData(h, info.data(), kPassword));
    ASSERT_EQ(0, kit.putCertificate(h, certificate.data()));
    ASSERT_EQ(0, kit.off(h));

    EXPECT_EQ(info, UserData(KeyPath()));
    const Bytes image = ReadFile(KeyPath());
    const Layout at{kNotice.size()};
    EXPECT_EQ(Bytes(certificate.begin(), certificate.end()),
              Bytes(image.data() + at.certificate(), image.data() + at.certificate() + HL_CERTIFICATE_SIZE));
    EXPECT_EQ(1, image[10] & 1) << "certificate flag";

    // A second certificate replaces the first; signing still works.
    certificate = CertificateFor(PublicKey(KeyPath()), 0x11);
    ASSERT_EQ(0, Open(KeyPath(), h));
    ASSERT_EQ(0, kit.putCertificate(h, certificate.data()));
    ASSERT_EQ(0, kit.off(h));
    const Bytes again = ReadFile(KeyPath());
    EXPECT_EQ(0x11, again[at.certificate() + 100]);
    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    EXPECT_EQ(0, Sign(KeyPath(), Sha256Prefix("z"), kPassword, sig));

    // No temporary file is left beside the key file.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path))
        ++files;
    EXPECT_EQ(1u, files);
}

TEST_F(KeyLibraryTest, HashingInPiecesEqualsOneShotAndTruncatedSha256)
{
    int32_t h = -1;
    ASSERT_EQ(0, kit.on(&h, HL_MODE_HASH_ONLY, nullptr));
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data.push_back(static_cast<char>(i * 31 + 7));
    const Bytes whole = Hash(h, data, data.size());
    EXPECT_EQ(whole, Hash(h, data, 512));
    EXPECT_EQ(whole, Hash(h, data, 1));
    EXPECT_EQ(whole, Hash(h, data, 333));
    EXPECT_EQ(Sha256Prefix(data), whole);
    // Empty input: one call with 0 bytes.
    EXPECT_EQ(Sha256Prefix(""), Hash(h, "", 512));

    HlHashAlgDetails details{};
    details.size = HL_DETAILS_SIZE;
    ASSERT_EQ(0, kit.getHashAlgDetails(h, HL_HASH_ALG_SHA256_16, &details));
    EXPECT_GT(details.contextSize, 0);
    EXPECT_EQ(HL_DIGEST_SIZE, details.digestSize);

    // A medium handle hashes as well (signing hashes with it).
    ASSERT_EQ(0, Generate(KeyPath(), MakeInfo("ID", "Razao")));
    int32_t m = -1;
    ASSERT_EQ(0, Open(KeyPath(), m));
    EXPECT_EQ(whole, Hash(m, data, 512));
    EXPECT_EQ(0, kit.off(m));
    EXPECT_EQ(0, kit.off(h));
}

TEST_F(KeyLibraryTest, HashContextsAreCheckedAndFreedWithTheirHandle)
{
    int32_t h = -1;
    ASSERT_EQ(0, kit.on(&h, HL_MODE_HASH_ONLY, nullptr));
    HlHashAlgDetails details{};
    details.size = 40;
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.getHashAlgDetails(h, HL_HASH_ALG_SHA256_16, &details));
    details.size = HL_DETAILS_SIZE;
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.getHashAlgDetails(h, 2, &details));
    ASSERT_EQ(0, kit.getHashAlgDetails(h, HL_HASH_ALG_SHA256_16, &details));
    std::vector<unsigned char> context(static_cast<std::size_t>(details.contextSize), 0);
    unsigned char digest[HL_DIGEST_SIZE];

    // Never initialised, or garbage: refused, not followed.
    EXPECT_EQ(HL_E_BAD_CONTEXT, kit.contHash(context.data(), "a", 1));
    std::fill(context.begin(), context.end(), 0x5A);
    EXPECT_EQ(HL_E_BAD_CONTEXT, kit.endHash(context.data(), digest));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.contHash(nullptr, "a", 1));

    ASSERT_EQ(0, kit.initHash(h, HL_HASH_ALG_SHA256_16, context.data()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.contHash(context.data(), "a", -1));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.contHash(context.data(), nullptr, 4));
    EXPECT_EQ(0, kit.contHash(context.data(), nullptr, 0));
    ASSERT_EQ(0, kit.endHash(context.data(), digest));
    // Ended: further use is refused.
    EXPECT_EQ(HL_E_BAD_CONTEXT, kit.contHash(context.data(), "a", 1));

    // An unfinished context dies with its handle (the leak checker watches).
    std::vector<unsigned char> copy(context.size());
    ASSERT_EQ(0, kit.initHash(h, HL_HASH_ALG_SHA256_16, context.data()));
    ASSERT_EQ(0, kit.contHash(context.data(), "abc", 3));
    copy = context;
    ASSERT_EQ(0, kit.off(h));
    EXPECT_EQ(HL_E_BAD_CONTEXT, kit.contHash(copy.data(), "a", 1));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.initHash(h, HL_HASH_ALG_SHA256_16, context.data()));

    // With an unknown handle the details are still filled, so a caller that
    // ignores results allocates enough for the calls that then fail.
    HlHashAlgDetails unknown{};
    unknown.size = HL_DETAILS_SIZE;
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.getHashAlgDetails(h, HL_HASH_ALG_SHA256_16, &unknown));
    EXPECT_EQ(details.contextSize, unknown.contextSize);
}

TEST_F(KeyLibraryTest, DamagedKeyFilesAreRefusedWithCodes)
{
    ASSERT_EQ(0, Generate(KeyPath(), MakeInfo("ID", "Razao")));
    const Bytes good = ReadFile(KeyPath());
    const Layout at{kNotice.size()};
    const fs::path bad = KeyPath("bad.PRI");
    int32_t h = 7;

    // Every truncation, and every single flipped byte in each region.
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{8}, std::size_t{12}, at.publicKey(),
                             at.kdf() + 3, at.cipher() + 1, good.size() - 33, good.size() - 1}) {
        WriteFile(bad, Bytes(good.begin(), good.begin() + static_cast<long>(size)));
        EXPECT_EQ(HL_E_FILE_FORMAT, Open(bad, h)) << "truncated to " << size;
        EXPECT_EQ(-1, h);
    }
    for (std::size_t off :
         {std::size_t{0}, std::size_t{10}, at.info() + 50, std::size_t{113}, at.publicKey() + 20, at.certificate() + 1,
          at.kdf(), at.kdf() + 1, at.salt(), at.cipherLength(), at.cipher() + 100, good.size() - 40, good.size() - 1}) {
        Bytes image = good;
        image[off] ^= 0x40;
        WriteFile(bad, image);
        EXPECT_NE(0, Open(bad, h)) << "byte " << off;
        EXPECT_EQ(-1, h);
    }
    Bytes appended = good;
    appended.push_back(0);
    WriteFile(bad, appended);
    EXPECT_EQ(HL_E_FILE_FORMAT, Open(bad, h));

    // A later version is told apart from damage.
    Bytes newer = good;
    newer[8] = 2;
    FixChecksum(newer);
    WriteFile(bad, newer);
    EXPECT_EQ(HL_E_FILE_VERSION, Open(bad, h));

    // A hostile cost for the key derivation is refused before any work.
    Bytes costly = good;
    costly[at.kdf() + 1] = 30;
    FixChecksum(costly);
    WriteFile(bad, costly);
    EXPECT_EQ(HL_E_FILE_FORMAT, Open(bad, h));

    // Consistent checksum but an altered info block: readable, yet the key no
    // longer opens, because the info block is bound to the private key's tag.
    Bytes altered = good;
    altered[at.info()] ^= 1;
    FixChecksum(altered);
    WriteFile(bad, altered);
    ASSERT_EQ(0, Open(bad, h));
    EXPECT_EQ(0, kit.off(h));
    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    EXPECT_EQ(HL_E_WRONG_PASSWORD, Sign(bad, Sha256Prefix("x"), kPassword, sig));

    // Not a file at all.
    EXPECT_NE(0, Open(dir.path, h));
    EXPECT_EQ(-1, h);
}

TEST_F(KeyLibraryTest, ArgumentsAndHandleStatesAreChecked)
{
    int32_t h = -1;
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.on(nullptr, HL_MODE_KEY_FILE, KeyPath().c_str()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.on(&h, HL_MODE_KEY_FILE, nullptr));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.on(&h, HL_MODE_KEY_FILE, ""));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.on(&h, 3, KeyPath().c_str()));
    EXPECT_EQ(-1, h);

    // An empty medium: nothing to read yet, generation needs hl_format first.
    ASSERT_EQ(0, Open(KeyPath(), h));
    unsigned char buffer[HL_PUBLIC_KEY_SIZE];
    EXPECT_EQ(HL_E_NO_KEY, kit.getPublicKey(h, buffer));
    EXPECT_EQ(HL_E_NO_KEY, kit.getUserData(h, buffer));
    const auto info = MakeInfo("ID", "Razao");
    std::array<unsigned char, HL_GENERATE_OUT_SIZE> out{};
    EXPECT_EQ(HL_E_NOT_FORMATTED, kit.generate(h, info.data(), "", 0, kPassword, kPassword, seed.data(), out.data()));
    ASSERT_EQ(0, kit.format(h));
    EXPECT_EQ(HL_E_PASSWORD_MISMATCH,
              kit.generate(h, info.data(), "", 0, kPassword, "SENHA1234ABCE", seed.data(), out.data()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.generate(h, info.data(), "", 0, "", "", seed.data(), out.data()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.generate(h, info.data(), "", -1, kPassword, kPassword, seed.data(), out.data()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT,
              kit.generate(h, info.data(), nullptr, 5, kPassword, kPassword, seed.data(), out.data()));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.generate(h, info.data(), "", 0, kPassword, kPassword, nullptr, out.data()));
    const std::string tooLong(HL_MAX_PASSWORD_LENGTH + 1, 'A');
    EXPECT_EQ(HL_E_BAD_ARGUMENT,
              kit.generate(h, info.data(), "", 0, tooLong.c_str(), tooLong.c_str(), seed.data(), out.data()));
    EXPECT_FALSE(fs::exists(KeyPath())) << "a refused generation must not write";
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.changeDefIntParam(h, 7, 0));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, 1));
    EXPECT_EQ(0, kit.off(h));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.off(h));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.format(h));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.off(-1));

    // A hash-only handle offers no key operations.
    ASSERT_EQ(0, kit.on(&h, HL_MODE_HASH_ONLY, nullptr));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.format(h));
    EXPECT_EQ(HL_E_BAD_HANDLE, kit.getPublicKey(h, buffer));
    EXPECT_EQ(0, kit.off(h));

    // Signing arguments.
    ASSERT_EQ(0, Generate(KeyPath(), info));
    ASSERT_EQ(0, Open(KeyPath(), h));
    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    const Bytes digest = Sha256Prefix("d");
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.sign(h, digest.data(), 20, sig.data(), kPassword, HL_HASH_ALG_SHA256_16));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.sign(h, digest.data(), HL_DIGEST_SIZE, sig.data(), kPassword, 2));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.sign(h, digest.data(), HL_DIGEST_SIZE, nullptr, kPassword, 1));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.sign(h, digest.data(), HL_DIGEST_SIZE, sig.data(), nullptr, 1));
    EXPECT_EQ(HL_E_BAD_ARGUMENT, kit.changePassword(h, kPassword, ""));
    EXPECT_EQ(0, kit.off(h));
}

TEST_F(KeyLibraryTest, SameSeedStillGivesDifferentKeys)
{
    ASSERT_EQ(0, Generate(KeyPath("a.PRI"), MakeInfo("ID", "Razao")));
    ASSERT_EQ(0, Generate(KeyPath("b.PRI"), MakeInfo("ID", "Razao")));
    EXPECT_NE(PublicKey(KeyPath("a.PRI")), PublicKey(KeyPath("b.PRI")));
}

// hl_put_certificate takes only a certificate that names the key it is put
// into; anything else is refused with its own code and changes nothing.
TEST_F(KeyLibraryTest, CertificateNotIssuedForTheKeyIsRefused)
{
    ASSERT_EQ(0, Generate(KeyPath("own.PRI"), MakeInfo("ID", "Razao")));
    ASSERT_EQ(0, Generate(KeyPath("other.PRI"), MakeInfo("ID", "Razao")));
    const Bytes own = PublicKey(KeyPath("own.PRI"));
    const Bytes other = PublicKey(KeyPath("other.PRI"));
    ASSERT_NE(own, other);

    struct Case {
        const char* what;
        Certificate certificate;
    };
    Certificate wrongMagic = CertificateFor(own, 0);
    wrongMagic[0] = 'X';
    Certificate wrongVersion = CertificateFor(own, 0);
    wrongVersion[4] = 2;
    Certificate lastDigestByte = CertificateFor(own, 0);
    lastDigestByte[6 + 23] ^= 0x01;
    Certificate firstDigestByte = CertificateFor(own, 0);
    firstDigestByte[6] ^= 0x80;
    const Case refused[] = {
        {"issued for another key", CertificateFor(other, 0)},
        {"not a certificate (all zeros)", Certificate{}},
        {"wrong magic", wrongMagic},
        {"wrong version", wrongVersion},
        {"last digest byte differs", lastDigestByte},
        {"first digest byte differs", firstDigestByte},
    };
    const Bytes before = ReadFile(KeyPath("own.PRI"));
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        int32_t h = -1;
        ASSERT_EQ(0, Open(KeyPath("own.PRI"), h));
        EXPECT_EQ(HL_E_CERTIFICATE_KEY, kit.putCertificate(h, c.certificate.data()));
        EXPECT_EQ(0, kit.off(h));
        EXPECT_EQ(before, ReadFile(KeyPath("own.PRI")));
    }

    // The certificate for this very key is taken; only the header and digest
    // are looked at, the rest (identifier, dates, signature) is the authority's.
    int32_t h = -1;
    ASSERT_EQ(0, Open(KeyPath("own.PRI"), h));
    EXPECT_EQ(0, kit.putCertificate(h, CertificateFor(own, 0x5A).data()));
    EXPECT_EQ(0, kit.off(h));
    EXPECT_EQ(1, ReadFile(KeyPath("own.PRI"))[10] & 1) << "certificate flag";
}

TEST_F(KeyLibraryTest, FailedWriteLeavesFileAndHandleAsTheyWere)
{
    const fs::path sub = dir.path / "medium";
    fs::create_directory(sub);
    ASSERT_EQ(0, Generate(sub / "k.PRI", MakeInfo("ID", "Razao")));
    int32_t h = -1;
    ASSERT_EQ(0, Open(sub / "k.PRI", h));
    // The folder goes away under the open handle: nothing can be written.
    const fs::path moved = dir.path / "moved";
    fs::rename(sub, moved);
    const Certificate certificate = CertificateFor(PublicKey(moved / "k.PRI"), 3);
    EXPECT_EQ(HL_E_FILE_WRITE, kit.changePassword(h, kPassword, "NOVASENHA1"));
    EXPECT_EQ(HL_E_FILE_WRITE, kit.putCertificate(h, certificate.data()));
    // The handle still holds the old password and no certificate.
    std::array<unsigned char, HL_SIGNATURE_SIZE> sig{};
    EXPECT_EQ(0, kit.changeDefIntParam(h, HL_PARAM_SIGN_PADDING, 0));
    EXPECT_EQ(0, kit.sign(h, Sha256Prefix("s").data(), HL_DIGEST_SIZE, sig.data(), kPassword, 1));
    EXPECT_EQ(0, kit.off(h));
    const Bytes image = ReadFile(moved / "k.PRI");
    EXPECT_EQ(0, image[10] & 1);
    EXPECT_FALSE(fs::exists(sub));
}

} // namespace

namespace {

// Bytes of the file open at fd, from its start.
Bytes ReadOpen(int fd)
{
    Bytes bytes;
    unsigned char buffer[4096];
    ssize_t n = 0;
    off_t offset = 0;
    while ((n = ::pread(fd, buffer, sizeof buffer, offset)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        offset += n;
    }
    return bytes;
}

} // namespace

// Every step that replaces a key file leaves no readable old version behind:
// the old file's own blocks are overwritten before they are let go. A hard
// link made here before the step keeps the old version reachable to look at.
// The replaced file is its owner's only, whatever mode it had.
TEST_F(KeyLibraryTest, ReplacedKeyFileVersionsAreOverwritten)
{
    const auto info = MakeInfo("01112223330001810000000001", "EMPRESA");
    // Made for each new key below: the kit takes only a certificate naming it.
    Certificate certificate{};
    struct Step {
        const char* name;
        std::function<int32_t(int32_t)> run;
    };
    const std::vector<Step> steps = {
        {"user data", [&](int32_t h) { return kit.updateUserData(h, info.data(), kPassword); }},
        {"certificate", [&](int32_t h) { return kit.putCertificate(h, certificate.data()); }},
        {"password", [&](int32_t h) { return kit.changePassword(h, kPassword, kPassword); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const fs::path key = KeyPath();
        fs::remove(key);
        ASSERT_EQ(0, Generate(key, MakeInfo("01112223330001810000000001", "OUTRA")));
        certificate = CertificateFor(PublicKey(key), 0x5C);
        fs::permissions(key, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                                 | fs::perms::others_read);
        const Bytes before = ReadFile(key);
        // Held open, not linked: a version that another name holds is kept.
        const int fd = ::open(key.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);

        int32_t h = -1;
        ASSERT_EQ(0, Open(key, h));
        EXPECT_EQ(0, step.run(h));
        EXPECT_EQ(0, kit.off(h));

        EXPECT_NE(ReadFile(key), before) << "the step wrote a new version";
        const Bytes oldBytes = ReadOpen(fd);
        ::close(fd);
        EXPECT_EQ(oldBytes.size(), before.size());
        EXPECT_TRUE(std::all_of(oldBytes.begin(), oldBytes.end(), [](unsigned char b) { return b == 0; }))
            << "the old version is still readable";
        EXPECT_EQ(fs::status(key).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
        // Only the key file remains.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
    }
}
