// The road of a certificate through the step classes and the authority's
// tool, as it runs between the client and the authority: three certificates
// made, the request sent to the medium, answered by qvauthority, and the
// response received; every certificate in its key file is then checked with
// OpenSSL against the authority's public key and the key it names.
#include "app/steps/TCertificateCreation.h"
#include "app/steps/TRequestReceiving.h"
#include "app/steps/TRequestSending.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"

#include "StepFixture.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <array>
#include <cstdio>
#include <sys/wait.h>

using namespace steptest;

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int RunAuthority(const std::string& Args, std::string& Out)
{
    const std::string cmd = Quote(std::string(QUORVEX_APP_DIR) + "qvauthority") + " " + Args + " </dev/null 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        Out.append(buf.data(), n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Sha256(const std::string& Data)
{
    unsigned char full[32];
    unsigned int length = 0;
    EVP_Digest(Data.data(), Data.size(), full, &length, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<char*>(full), 32);
}

bool SignedByAuthority(const std::string& PublicPemPath, const std::string& Certificate)
{
    FILE* f = std::fopen(PublicPemPath.c_str(), "r");
    if (!f)
        return false;
    EVP_PKEY* key = PEM_read_PUBKEY(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const bool ok = key && ctx && EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, key) == 1
                    && EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(Certificate.data()) + 64, 128,
                                        reinterpret_cast<const unsigned char*>(Certificate.data()), 64)
                           == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    return ok;
}

class CertificateRoad : public StepFixture {};

TEST_F(CertificateRoad, MadeSentAnsweredReceived)
{
    std::vector<std::string> ids;
    for (int i = 0; i < 3; ++i)
        ids.push_back(CreateCertificate(*this, Ask, *Context, "SENHA" + std::to_string(i)));
    ASSERT_EQ(ids.size(), 3u);

    Ask = ScriptedQuestions{};
    Ask.Passwords = {{mrOk, "SENHA0", {}}};
    Ask.Answers = {mrOk /* medium */, mrCancel /* agreement */};
    const TRequestSending::Outcome sent = TRequestSending(*Context).RequestSend();
    ASSERT_TRUE(sent.Sent) << (Ask.Shown.empty() ? "" : Ask.Shown.back());

    // The authority answers beside the request, on the medium.
    const std::string ca = Root.string() + "/ca";
    std::string out;
    ASSERT_EQ(RunAuthority(Quote(ca) + " " + Quote(sent.FileName), out), 0) << out;
    const std::string response = sent.FileName.substr(0, sent.FileName.size() - 4) + ".CNS";
    ASSERT_TRUE(fs::exists(response)) << out;

    Ask = ScriptedQuestions{};
    Ask.Answers = {mrOk /* medium */};
    Ask.Files = {response};
    Ask.Passwords = {{mrOk, "SENHA0", {}}, {mrOk, "SENHA1", {}}, {mrOk, "SENHA2", {}}};
    const auto received = TRequestReceiving(*Context).RequestReceive();
    EXPECT_EQ(received.Incorporated, 3);
    EXPECT_TRUE(received.Completed);
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{"Foram incorporados com sucesso 3 certificados eletrônicos assinados."});
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
    EXPECT_TRUE(KeyFilesIn(DriveDir).empty());

    Reload();
    EXPECT_TRUE(Storage().ReadBool("General", "RequestReceived", false));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Storage().ReadBool(ids[i], "Signed", false));
        const std::string publicKey = HexToString(Storage().ReadString(ids[i], "PublicKey", ""));
        const std::string image = HexToString(Storage().ReadString(ids[i], "KeyFile", ""));
        ASSERT_GT(image.size(), 114u);
        const std::size_t notice = static_cast<unsigned char>(image[112])
                                   | static_cast<std::size_t>(static_cast<unsigned char>(image[113])) << 8;
        ASSERT_GE(image.size(), 446 + notice);
        const std::string certificate = image.substr(254 + notice, 192);
        EXPECT_EQ(certificate.substr(6, 24), Sha256(publicKey).substr(0, 24)) << "names its own key";
        const std::string info = HexToString(Storage().ReadString(ids[i], "Info", ""));
        EXPECT_EQ(certificate.substr(30, 26), info.substr(0, 26)) << "the identifier in the info block";
        EXPECT_EQ(info.substr(2, 14), "11222333000181");
        EXPECT_TRUE(SignedByAuthority(ca + "/authority.pub", certificate));
    }

    // Nothing is left to send.
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrYes /* send again */};
    EXPECT_FALSE(TRequestSending(*Context).RequestSend().Sent);
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{
                             "Todos os certificados gerados foram assinados. A operação não será concluída."});
}

} // namespace
