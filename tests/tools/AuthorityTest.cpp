// Runs the built authority tool as its users do: requests signed the way the
// client's key library signs, answered or refused, and every certificate of
// an answer checked with OpenSSL against the authority's public key.
#include "store/TRequestFile.h"

#include "support/FileBytes.h"
#include "support/RunTool.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using testsupport::Quote;
using Result = testsupport::ToolResult;

Result Tool(const std::string& args)
{
    return testsupport::RunTool("qvauthority", args);
}

struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string Sha256(const std::string& data)
{
    unsigned char full[32];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), full, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(full), 32);
}

// A key as the client's key library makes it: RSA 1024, e = 65537.
struct Key {
    PkeyPtr pkey;
    std::string publicDer; // 140 bytes
};

Key MakeKey()
{
    Key k;
    k.pkey.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(1024)));
    unsigned char* der = nullptr;
    const int n = i2d_PublicKey(k.pkey.get(), &der);
    k.publicDer.assign(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    return k;
}

// The key library's signature: PKCS#1 v1.5, the 16 leading bytes of SHA-256
// as the payload, no DigestInfo.
std::string KitSign(EVP_PKEY* key, const std::string& text)
{
    const std::string digest = Sha256(text).substr(0, 16);
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
    std::string sig(128, '\0');
    size_t length = sig.size();
    EVP_PKEY_sign_init(ctx.get());
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
    EVP_PKEY_sign(ctx.get(), reinterpret_cast<unsigned char*>(sig.data()), &length,
                  reinterpret_cast<const unsigned char*>(digest.data()), digest.size());
    return sig;
}

std::string Info(const std::string& identity)
{
    std::string info(100, '\0');
    info.replace(0, identity.size(), identity);
    info.replace(32, 7, "Empresa");
    info[72] = static_cast<char>(128);
    return info;
}

// The request text as the client writes it, without its signature.
std::string RequestBody(const std::vector<const Key*>& keys, const std::string& inscricao = "11222333000181")
{
    TRequestFile r("");
    r.WriteString("General", "Dir", "Request");
    r.WriteString("General", "Profile", "01");
    r.WriteString("General", "Tipo_Inscricao", "01");
    r.WriteString("General", "Inscricao", inscricao);
    r.WriteString("General", "Razao", "Metal\xFArgica Sol Ltda");
    r.WriteString("General", "Endereco", "Rua A, 1");
    r.WriteString("General", "Bairro", "Centro");
    r.WriteString("General", "CEP", "01001000");
    r.WriteString("General", "Cidade", "S\xE3o Paulo");
    r.WriteString("General", "UF", "SP");
    r.WriteString("General", "Telefone", "1133334444");
    r.WriteString("General", "Email", "a@b.c");
    r.WriteString("General", "Num_Keys", std::to_string(keys.size()));
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string nn = (i < 10 ? "0" : "") + std::to_string(i);
        r.WriteString("Keys", "Key" + nn, Hex(keys[i]->publicDer));
        r.WriteString("Keys", "Info" + nn, Hex(Info("01" + inscricao + "00000001")));
    }
    return r.Text();
}

std::string Signed(const std::string& body, EVP_PKEY* signer)
{
    return body + "[Signatures]\r\nUser=" + Hex(KitSign(signer, body)) + "\r\n\r\n";
}

class AuthorityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(std::string(QUORVEX_APP_DIR) + "qvauthority")) << "build the qvauthority target";
        root = tmp.Path();
        fs::create_directories(root / "A");
    }

    std::string P(const fs::path& p) const { return Quote(p.string()); }
    fs::path Ca() const { return root / "ca"; }

    // Answers request text; returns the tool's result.
    Result Answer(const std::string& request, const char* name = "{REQ}.TXT")
    {
        testsupport::WriteFile(root / "A" / name, request);
        return Tool(P(Ca()) + " " + P(root / "A" / name));
    }

    PkeyPtr AuthorityPublicKey()
    {
        FILE* f = std::fopen((Ca() / "authority.pub").c_str(), "r");
        if (!f)
            return nullptr;
        PkeyPtr key(PEM_read_PUBKEY(f, nullptr, nullptr, nullptr));
        std::fclose(f);
        return key;
    }

    testsupport::TempFolder tmp{"qvauth"};
    fs::path root;
};

std::uint32_t Le32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

TEST_F(AuthorityTest, AnswersASignedRequestWithOneCertificatePerPosition)
{
    const Key master = MakeKey(), second = MakeKey(), third = MakeKey();
    const std::string body = RequestBody({&master, &second, &third});
    const std::time_t before = std::time(nullptr);
    const Result r = Answer(Signed(body, master.pkey.get()));
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("made a new authority key pair"), std::string::npos) << r.out;

    struct stat st {};
    ASSERT_EQ(::stat((Ca() / "authority.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the private key is for the authority alone";
    PkeyPtr authority = AuthorityPublicKey();
    ASSERT_TRUE(authority);

    const fs::path responsePath = root / "A" / "{REQ}.CNS";
    ASSERT_TRUE(fs::exists(responsePath));
    TRequestFile response(responsePath.string());
    TRequestFile request("");
    request.SetText(body);
    EXPECT_EQ(response.ReadString("General", "Dir", ""), "xeVmorPad");
    const Key* keys[] = {&master, &second, &third};
    std::set<std::string> identifiers;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string nn = "0" + std::to_string(i);
        // Keys and info blocks come back as sent, text for text.
        EXPECT_EQ(response.ReadString("Keys", "Key" + nn, "-"), request.ReadString("Keys", "Key" + nn, ""));
        EXPECT_EQ(response.ReadString("Keys", "Info" + nn, "-"), request.ReadString("Keys", "Info" + nn, ""));

        const std::string id = response.ReadString("Certificates", "NewId" + nn, "");
        ASSERT_EQ(id.size(), 26u);
        EXPECT_EQ(id.substr(0, 16), "0111222333000181") << "type and inscription";
        EXPECT_EQ(id.substr(24), "01") << "profile";
        identifiers.insert(id);

        const std::string crtHex = response.ReadString("Certificates", "Crt" + nn, "");
        ASSERT_EQ(crtHex.size(), 384u);
        const std::string crt = Unhex(crtHex);
        EXPECT_EQ(crt.substr(0, 6), std::string("QVCT\x01\x00", 6));
        EXPECT_EQ(crt.substr(6, 24), Sha256(keys[i]->publicDer).substr(0, 24)) << "names its key";
        EXPECT_EQ(crt.substr(30, 26), id);
        const std::uint32_t from = Le32(crt, 56), until = Le32(crt, 60);
        EXPECT_GE(from, static_cast<std::uint32_t>(before));
        EXPECT_LE(from, static_cast<std::uint32_t>(after));
        EXPECT_EQ(until - from, 1095u * 86400u);

        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, authority.get()), 1);
        EXPECT_EQ(EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(crt.data()) + 64, 128,
                                   reinterpret_cast<const unsigned char*>(crt.data()), 64),
                  1)
            << "signed by the authority";
    }
    EXPECT_EQ(identifiers.size(), 3u) << "every certificate has its own serial";

    // A second answer keeps the authority's key and goes on with the serials;
    // an alphanumeric CNPJ is answered like any other.
    const std::string keyBefore = testsupport::ReadFile(Ca() / "authority.key");
    const Key fourth = MakeKey();
    const Result again = Answer(Signed(RequestBody({&fourth}, "12ABC34501DE35"), fourth.pkey.get()), "{REQ2}.TXT");
    ASSERT_EQ(again.code, 0) << again.out;
    EXPECT_EQ(again.out.find("made a new"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(Ca() / "authority.key"), keyBefore);
    TRequestFile second2((root / "A" / "{REQ2}.CNS").string());
    EXPECT_EQ(second2.ReadString("Certificates", "NewId00", ""), "0112ABC34501DE350000000401");
}

// Once the master is certified it is no longer in the requests; the
// authority then takes the signature of a key it knows for the inscription,
// and of no other.
TEST_F(AuthorityTest, LaterRequestsAreSignedByAKnownMaster)
{
    const Key master = MakeKey(), later = MakeKey(), stranger = MakeKey();
    ASSERT_EQ(Answer(Signed(RequestBody({&master}), master.pkey.get()), "{R1}.TXT").code, 0);

    const Result known = Answer(Signed(RequestBody({&later}), master.pkey.get()), "{R2}.TXT");
    EXPECT_EQ(known.code, 0) << known.out;
    EXPECT_TRUE(fs::exists(root / "A" / "{R2}.CNS"));

    const std::string serial = testsupport::ReadFile(Ca() / "SERIAL");
    const Result unknown = Answer(Signed(RequestBody({&later}), stranger.pkey.get()), "{R3}.TXT");
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.out.find("signature does not verify"), std::string::npos) << unknown.out;
    EXPECT_FALSE(fs::exists(root / "A" / "{R3}.CNS"));
    EXPECT_EQ(testsupport::ReadFile(Ca() / "SERIAL"), serial) << "a refused request takes no serial";

    // The known key belongs to its inscription only.
    const Result otherEntity = Answer(Signed(RequestBody({&later}, "99888777000166"), master.pkey.get()), "{R4}.TXT");
    EXPECT_EQ(otherEntity.code, 1) << otherEntity.out;
}

TEST_F(AuthorityTest, RefusesWhatIsNotASignedRequest)
{
    const Key master = MakeKey(), other = MakeKey();
    const std::string body = RequestBody({&master, &other});
    const std::string good = Signed(body, master.pkey.get());
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        const std::size_t at = text.find(from);
        return at == std::string::npos ? std::string("(pattern missing)") : text.replace(at, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string text;
        const char* says;
    };
    const Case cases[] = {
        {"a response given back", replaced(good, "Dir=Request", "Dir=xeVmorPad"), "not a request"},
        {"no signature", body, "no [Signatures]"},
        {"changed after signing", replaced(good, "Rua A, 1", "Rua B, 1"), "signature does not verify"},
        {"signed by the second key", Signed(body, other.pkey.get()), "signature does not verify"},
        {"keys after the signature", good + "[Keys]\r\nKey02=00\r\n", "sections follow"},
        {"fewer keys than Num_Keys", replaced(good, "Num_Keys=2", "Num_Keys=3"), "Num_Keys"},
        {"no keys at all", replaced(good, "Num_Keys=2", "Num_Keys=0"), "Num_Keys"},
        {"key not hexadecimal", replaced(good, "Key01=30", "Key01=3G"), "Key01"},
        {"inscription not 14 digits", replaced(good, "Inscricao=11222333000181", "Inscricao=../../x"), "Inscricao"},
        {"inscription in lower case", replaced(good, "Inscricao=11222333000181", "Inscricao=12abc34501de35"),
         "Inscricao"},
        {"a NUL byte", replaced(good, "Centro", std::string("Cen\0ro", 6)), "NUL"},
        {"short signature", replaced(good, "User=", "User=00"), "128-byte"},
        {"empty file", "", "no [Signatures]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.text, "(pattern missing)");
        const Result r = Answer(c.text);
        EXPECT_EQ(r.code, 1) << r.out;
        EXPECT_NE(r.out.find("refused"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(root / "A" / "{REQ}.CNS"));
    }
    // The unchanged request is answered.
    EXPECT_EQ(Answer(good).code, 0);
}

TEST_F(AuthorityTest, UnusableInputsAndFoldersFailCleanly)
{
    const Key master = MakeKey();
    const std::string good = Signed(RequestBody({&master}), master.pkey.get());
    testsupport::WriteFile(root / "A" / "r.TXT", good);

    EXPECT_EQ(Tool("").code, 2);
    EXPECT_EQ(Tool(P(Ca()) + " " + P(root / "A" / "r.TXT") + " " + P(root / "A" / "r.TXT")).code, 2)
        << "the response never replaces the request";
    EXPECT_EQ(Tool(P(Ca()) + " " + P(root / "A" / "missing.TXT")).code, 1);
    // A folder and a FIFO are not request files; the FIFO must not hang.
    EXPECT_EQ(Tool(P(Ca()) + " " + P(root / "A")).code, 1);
    ASSERT_EQ(::mkfifo((root / "A" / "fifo.TXT").c_str(), 0600), 0);
    EXPECT_EQ(Tool(P(Ca()) + " " + P(root / "A" / "fifo.TXT")).code, 1);

    // A damaged authority key is reported, never silently replaced.
    ASSERT_EQ(Tool(P(Ca()) + " " + P(root / "A" / "r.TXT")).code, 0);
    testsupport::WriteFile(Ca() / "authority.key", "damaged");
    const Result damaged = Tool(P(Ca()) + " " + P(root / "A" / "r.TXT") + " " + P(root / "A" / "x.CNS"));
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.out.find("authority.key"), std::string::npos) << damaged.out;
    EXPECT_EQ(testsupport::ReadFile(Ca() / "authority.key"), "damaged");
    EXPECT_FALSE(fs::exists(root / "A" / "x.CNS"));
}

} // namespace
