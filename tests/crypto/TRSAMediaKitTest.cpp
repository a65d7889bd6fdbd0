// The medium against the real kit, loaded from the program's folder: a key
// made, read, signed with (and the signature checked by OpenSSL on its own),
// given a new password and a certificate.
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};

// Windows-1252, as the data files hold it.
const std::string CompanyName = "Metal\xFArgica Sol Ltda";

TUserData Entity()
{
    TUserData user;
    user.SetTipoInscricao("01");
    user.SetInscricao("11222333000181");
    user.SetProfile("01");
    user.Razao = CompanyName;
    return user;
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// SHA-256 truncated to 16 bytes, computed here without the kit.
std::string Digest16(const std::string& data)
{
    unsigned char full[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), full, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(full), 16);
}

class MediumWithKit : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Kit = new KitLibraries(QUORVEX_APP_DIR);
        Dir = fs::temp_directory_path() / ("kitmedium-" + std::to_string(::getpid()));
        fs::create_directories(Dir);
        // One key for the suite: generating is the slow part.
        KeyPath = (Dir / "{11111111-2222-4333-8444-555555555555}.PRI").string();
        if (Kit->Loaded()) {
            TRSAMedia media(*Kit, KeyPath);
            media.GenerateFor("SENHA123", Entity());
            KeyBytes = ReadAll(KeyPath);
        }
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(Dir);
        delete Kit;
        Kit = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(Kit->Loaded()) << "the kit's libraries are not in " << QUORVEX_APP_DIR;
        ASSERT_FALSE(KeyBytes.empty());
        // Each test starts from the key as generated.
        std::ofstream(KeyPath, std::ios::binary | std::ios::trunc) << KeyBytes;
    }

    static KitLibraries* Kit;
    static fs::path Dir;
    static std::string KeyPath;
    static std::string KeyBytes;
};
KitLibraries* MediumWithKit::Kit = nullptr;
fs::path MediumWithKit::Dir;
std::string MediumWithKit::KeyPath;
std::string MediumWithKit::KeyBytes;

TEST_F(MediumWithKit, GeneratedKeyHasADerPublicKeyAndTheEntityInItsInfoBlock)
{
    TRSAMedia media(*Kit, KeyPath);
    media.Open();
    std::string key, info;
    media.GetPublicKey(key);
    media.GetUserInfo(info);
    media.Close();
    EXPECT_FALSE(media.IsOpen());

    ASSERT_EQ(key.size(), 140u);
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    std::unique_ptr<EVP_PKEY, PkeyFree> pkey(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, 140));
    ASSERT_TRUE(pkey) << "the public key parses as DER RSAPublicKey";
    EXPECT_EQ(p, reinterpret_cast<const unsigned char*>(key.data()) + 140);
    EXPECT_EQ(EVP_PKEY_get_bits(pkey.get()), 1024);

    ASSERT_EQ(info.size(), 100u);
    EXPECT_EQ(info.substr(0, 32), Entity().KeyIdentity().substr(0, 24) + std::string(8, '\0'));
    EXPECT_EQ(info.substr(32, 40), CompanyName + std::string(40 - CompanyName.size(), '\0'));
    EXPECT_EQ(info.substr(72, 4), std::string("\x80\0\0\0", 4));
    EXPECT_EQ(info.substr(76), std::string(24, '\0'));
}

TEST_F(MediumWithKit, SignatureVerifiesWithOpenSslAgainstThePublicKey)
{
    TRSAMedia media(*Kit, KeyPath);
    media.Open();
    std::string key;
    media.GetPublicKey(key);
    const std::string text = "[General]\r\nId=Request\r\n" + std::string(1500, 'x');
    std::string signature;
    media.SignString("SENHA123", text, signature);
    EXPECT_TRUE(media.IsOpen());
    media.Close();
    ASSERT_EQ(signature.size(), 128u);

    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    std::unique_ptr<EVP_PKEY, PkeyFree> pkey(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, 140));
    ASSERT_TRUE(pkey);
    auto verify = [&](const std::string& digest) {
        std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
        EXPECT_EQ(EVP_PKEY_verify_init(ctx.get()), 1);
        EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING), 1);
        return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                               reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
    };
    EXPECT_EQ(verify(Digest16(text)), 1);
    EXPECT_NE(verify(Digest16(text + "!")), 1) << "a signature of other data does not verify";
}

TEST_F(MediumWithKit, WrongPasswordRefusesToSign)
{
    TRSAMedia media(*Kit, KeyPath);
    media.Open();
    std::string signature;
    try {
        media.SignString("ERRADA12", "dados", signature);
        FAIL() << "signed with a wrong password";
    } catch (const ERSASign& e) {
        EXPECT_EQ(std::string(e.what()), "Ocorreu um erro ao assinar o buffer.(40979)");
    }
    EXPECT_TRUE(media.IsOpen());
}

TEST_F(MediumWithKit, ChangePasswordAcceptsOnlyTheRightOldPassword)
{
    TRSAMedia media(*Kit, KeyPath);
    media.Open();
    EXPECT_FALSE(media.ChangePassword("ERRADA12", "NOVA5678"));
    EXPECT_TRUE(media.IsOpen());
    EXPECT_TRUE(media.ChangePassword("SENHA123", "NOVA5678"));
    media.Close();

    // The new password now signs; the old one no longer does.
    TRSAMedia again(*Kit, KeyPath);
    again.Open();
    std::string signature;
    again.SignString("NOVA5678", "dados", signature);
    EXPECT_EQ(signature.size(), 128u);
    EXPECT_FALSE(again.ChangePassword("SENHA123", "OUTRA999"));
}

TEST_F(MediumWithKit, PutCertificateWritesIdentifierAndKeepsTheKeyUsable)
{
    // A certificate naming this key: magic, version, then the leading 24 bytes
    // of SHA-256 over its public key; the rest is the authority's business.
    std::string publicKey;
    {
        TRSAMedia reader(*Kit, KeyPath);
        reader.Open();
        reader.GetPublicKey(publicKey);
        reader.Close();
    }
    unsigned char keyDigest[32];
    unsigned int digestLength = 0;
    EVP_Digest(publicKey.data(), publicKey.size(), keyDigest, &digestLength, EVP_sha256(), nullptr);
    std::string certificate(192, '\0');
    for (std::size_t i = 30; i < 192; ++i)
        certificate[i] = static_cast<char>(i * 7);
    certificate.replace(0, 6, std::string("QVCT\x01\x00", 6));
    certificate.replace(6, 24, reinterpret_cast<const char*>(keyDigest), 24);
    const std::string hex385 = StringToHex(certificate) + "F";
    const std::string identifier = "VINCULUM000000000000000042";
    ASSERT_EQ(identifier.size(), 26u);
    {
        TRSAMedia media(*Kit, KeyPath);
        try {
            media.PutCertificate("SENHA123", identifier.substr(0, 25), hex385);
            FAIL() << "a 25-character identifier was taken";
        } catch (const ERSAInvalidArgument&) {
        }
        try {
            media.PutCertificate("SENHA123", identifier + "X", hex385);
            FAIL() << "a 27-character identifier was taken";
        } catch (const ERSAInvalidArgument&) {
        }
        EXPECT_EQ(ReadAll(KeyPath), KeyBytes) << "nothing touched the key file";

        try {
            media.PutCertificate("ERRADA12", identifier, hex385);
            FAIL() << "a wrong password was taken";
        } catch (const ERSAMediaException&) {
            FAIL() << "a wrong password is a plain Exception";
        } catch (const Exception& e) {
            EXPECT_EQ(std::string(e.what()), "Senha incorreta, favor repetir o processo de recebimento. (40979)");
        }
        EXPECT_TRUE(media.IsOpen());
    }
    // A certificate for another key is refused by the kit with its own message.
    {
        std::string foreign = certificate;
        foreign[6] = static_cast<char>(foreign[6] ^ 0x01);
        TRSAMedia media(*Kit, KeyPath);
        try {
            media.PutCertificate("SENHA123", identifier, StringToHex(foreign));
            FAIL() << "a certificate for another key was taken";
        } catch (const ERSAPutCertificate& e) {
            EXPECT_EQ(std::string(e.what()),
                      "O certificado assinado não foi emitido para a chave deste certificado eletrônico. "
                      "É provável que o arquivo de requisição esteja incorreto. (40980)");
        }
        EXPECT_FALSE(media.IsOpen());
    }
    TRSAMedia media(*Kit, KeyPath);
    media.PutCertificate("SENHA123", identifier, hex385);
    EXPECT_FALSE(media.IsOpen());
    EXPECT_NE(ReadAll(KeyPath), KeyBytes);
    media.Open();
    std::string info;
    media.GetUserInfo(info);
    EXPECT_EQ(info.substr(0, 26), identifier);
    EXPECT_EQ(info.substr(26, 46), std::string(6, '\0') + CompanyName + std::string(40 - CompanyName.size(), '\0'));
    std::string signature;
    media.SignString("SENHA123", "dados", signature);
    EXPECT_EQ(signature.size(), 128u);
}

TEST_F(MediumWithKit, CloseOnAClosedMediumAndGenerateWithoutNameNeverOpens)
{
    TRSAMedia media(*Kit, KeyPath);
    EXPECT_THROW(media.Close(), ERSAMediaNotOpened);

    const fs::path fresh = Dir / "{99999999-2222-4333-8444-555555555555}.PRI";
    TRSAMedia unnamed(*Kit, fresh.string());
    TUserData user = Entity();
    user.Razao.clear();
    EXPECT_THROW(unnamed.GenerateFor("SENHA123", user), ERSAUser);
    EXPECT_FALSE(fs::exists(fresh)) << "the key file was never created";
    EXPECT_FALSE(unnamed.IsOpen());
}

TEST_F(MediumWithKit, HashStringIsTruncatedSha256InUpperCaseHex)
{
    for (const std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 5000u}) {
        std::string text(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            text[i] = static_cast<char>(i * 13 + 1);
        std::string digest;
        HashString(*Kit, text, digest);
        EXPECT_EQ(digest, StringToHex(Digest16(text))) << size;
    }
}

} // namespace
