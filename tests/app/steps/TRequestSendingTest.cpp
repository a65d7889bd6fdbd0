// Sending the request with the real kit: the request file byte for byte,
// its signature, and what the storage remembers, or does not, when the send
// stops on the way.
#include "app/steps/KeyFileOperations.h"
#include "app/steps/TRequestSending.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"

#include "StepFixture.h"
#include "support/ScopedEnvironment.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <optional>

using namespace steptest;

namespace {

bool Verifies(const std::string& PublicKeyHex, const std::string& Text, const std::string& SignatureHex)
{
    const std::string key = HexToString(PublicKeyHex);
    const std::string signature = HexToString(SignatureHex);
    const auto* p = reinterpret_cast<const unsigned char*>(key.data());
    EVP_PKEY* pkey = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(key.size()));
    if (!pkey)
        return false;
    unsigned char full[32];
    SHA256(reinterpret_cast<const unsigned char*>(Text.data()), Text.size(), full);
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr);
    const bool ok =
        EVP_PKEY_verify_init(ctx) == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1
        && EVP_PKEY_verify(ctx, reinterpret_cast<const unsigned char*>(signature.data()), signature.size(), full, 16)
               == 1;
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(pkey);
    return ok;
}

class RequestSending : public StepFixture {
protected:
    void SetUp() override
    {
        StepFixture::SetUp();
        for (int i = 0; i < 3; ++i)
            Ids.push_back(CreateCertificate(*this, Ask, *Context));
        Ask = ScriptedQuestions{};
    }
    TRequestSending::Outcome Send() { return TRequestSending(*Context).RequestSend(); }
    std::vector<std::string> Ids;
};

TEST_F(RequestSending, SignedMasterAndTwoUnsignedSendsTwoPositionsSignedByTheMaster)
{
    Storage().WriteBool(Ids[0], "Signed", true);
    Ask.Passwords = {{mrOk, "SENHA123", {}}};
    Ask.Answers = {mrOk /* medium */, mrCancel /* agreement */};
    const TRequestSending::Outcome outcome = Send();
    ASSERT_TRUE(outcome.Sent) << (Ask.Shown.empty() ? "" : Ask.Shown.back());
    EXPECT_FALSE(outcome.ShowAgreement);
    // The medium question names the folder that is drive A on a line of its own.
    EXPECT_EQ(Ask.Asked,
              (std::vector<std::string>{std::string(Texts::InsertFormattedDisk) + "\nPasta do drive A: " + DriveDir,
                                        Texts::AgreementQuestion}));
    EXPECT_EQ(Ask.PasswordModes, std::vector<KeyFilePwd::TPwdMode>{KeyFilePwd::pmAskPassword});
    EXPECT_EQ(Ask.PasswordNames, std::vector<std::string>{""}) << "the default name: the first certificate";

    const std::vector<std::string> onDrive = FilesIn(DriveDir);
    ASSERT_EQ(onDrive.size(), 1u);
    // The user is told what was written where.
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{FormatText(Texts::RequestWritten, {onDrive[0], (Root / "A").string()})});
    const std::string name = onDrive.front();
    ASSERT_EQ(name.size(), 42u);
    EXPECT_TRUE(IsCertificateIdentifier(name.substr(0, 38)));
    EXPECT_EQ(name.substr(38), ".TXT");
    EXPECT_EQ(outcome.FileName, DriveDir + name);

    const std::string text = ReadFile(DriveDir + name);
    const std::string expectedSigned =
        "[General]\r\nDir=Request\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=11222333000181\r\n"
        "Razao=Metalurgica Sol Ltda\r\nEndereco=Rua das Flores, 10\r\nBairro=Centro\r\nCEP=80000000\r\n"
        "Cidade=Curitiba\r\nUF=PR\r\nTelefone=4133334444\r\nEmail=contato@example.com\r\nNum_Keys=2\r\n\r\n"
        "[Keys]\r\nKey00="
        + Storage().ReadString(Ids[1], "PublicKey", "") + "\r\nInfo00=" + Storage().ReadString(Ids[1], "Info", "")
        + "\r\nKey01=" + Storage().ReadString(Ids[2], "PublicKey", "")
        + "\r\nInfo01=" + Storage().ReadString(Ids[2], "Info", "") + "\r\n\r\n";
    ASSERT_EQ(text.substr(0, expectedSigned.size()), expectedSigned);
    const std::string rest = text.substr(expectedSigned.size());
    ASSERT_EQ(rest.substr(0, 19), "[Signatures]\r\nUser=");
    const std::string signature = rest.substr(19, 256);
    EXPECT_EQ(rest.substr(19 + 256), "\r\n\r\n");
    EXPECT_TRUE(Verifies(Storage().ReadString(Ids[0], "PublicKey", ""), expectedSigned, signature))
        << "signed with the master's key over the text up to [Signatures]";
    EXPECT_FALSE(Verifies(Storage().ReadString(Ids[1], "PublicKey", ""), expectedSigned, signature));

    Reload();
    EXPECT_TRUE(Storage().ReadBool("General", "RequestSent", false));
    std::vector<std::string> keys;
    Storage().ReadSection("RequestReference", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"00", "01", "FileName"}));
    EXPECT_EQ(Storage().ReadString("RequestReference", "00", ""), Ids[1]);
    EXPECT_EQ(Storage().ReadString("RequestReference", "01", ""), Ids[2]);
    EXPECT_EQ(Storage().ReadString("RequestReference", "FileName", ""), DriveDir + name);
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
    EXPECT_TRUE(KeyFilesIn(DriveDir).empty());
}

TEST_F(RequestSending, ASendThatStopsLeavesThePositionsOfTheRequestReallySent)
{
    // A request was sent before: its positions must stay matchable.
    Storage().WriteString("RequestReference", "00", Ids[0]);
    Storage().WriteString("RequestReference", "FileName", "/old/request.TXT");
    Storage().WriteBool("General", "RequestSent", true);
    Storage().UpdateFile();
    const std::string disk = StorageOnDisk();
    const std::string memory = Storage().Text();

    struct Case {
        const char* what;
        std::deque<PasswordScript> passwords;
        std::deque<int> answers;
        std::function<void()> arrange;
        std::string shown; // prefix of the one message; empty: none
        bool agreementAsked;
    } cases[] = {
        {"resend declined", {}, {mrNo}, {}, "", false},
        {"password cancelled", {{mrCancel, {}, {}}}, {mrYes}, {}, "", false},
        {"wrong password", {{mrOk, "ERRADA12", {}}}, {mrYes}, {}, Texts::RequestSignError, false},
        {"medium prompt cancelled", {{mrOk, "SENHA123", {}}}, {mrYes, mrCancel}, {}, "", false},
        {"no medium, asked again until cancelled",
         {{mrOk, "SENHA123", {}}},
         {mrYes, mrOk, mrOk, mrCancel},
         [&] { fs::remove_all(DriveDir); },
         "",
         false},
        {"clearing refused",
         {{mrOk, "SENHA123", {}}},
         {mrYes, mrOk, mrCancel},
         [&] { WriteFile(DriveDir + "old.CNS", "x"); },
         "",
         false},
        {"medium gone between the probe and the write",
         {{mrOk, "SENHA123", {}}},
         {mrYes, mrOk, mrOk, mrCancel},
         [&] {
             WriteFile(DriveDir + "old.CNS", "x");
             Ask.OnQuestion = [&](const std::string& text) {
                 if (text.rfind(Texts::ClearDiskQuestion, 0) == 0) {
                     fs::remove_all(Root / "A");
                     WriteFile(Root / "A", "not a folder");
                 }
             };
         },
         Texts::SendError,
         true},
        {"master key not extractable",
         {},
         {mrYes},
         [&] { Storage().WriteString(Ids[0], "KeyFile", ""); },
         Texts::SendError,
         false},
    };
    for (Case& c : cases) {
        Ask = ScriptedQuestions{};
        Ask.Passwords = c.passwords;
        Ask.Answers = c.answers;
        Storage().SetText(memory);
        fs::create_directories(Root / "A");
        const std::string keyFileBefore = Storage().ReadString(Ids[0], "KeyFile", "");
        if (c.arrange)
            c.arrange();
        const TRequestSending::Outcome outcome = Send();
        EXPECT_FALSE(outcome.Sent) << c.what;
        if (c.shown.empty())
            EXPECT_TRUE(Ask.Shown.empty()) << c.what << ": " << (Ask.Shown.empty() ? "" : Ask.Shown.front());
        else
            EXPECT_TRUE(Ask.WasShown(c.shown)) << c.what;
        EXPECT_EQ(IsInList(Texts::AgreementQuestion, Ask.Asked), c.agreementAsked) << c.what;
        EXPECT_TRUE(Ask.Answers.empty()) << c.what << ": not every scripted answer was asked for";
        Storage().WriteString(Ids[0], "KeyFile", keyFileBefore);
        EXPECT_TRUE(Storage().Text() == memory) << c.what;
        EXPECT_TRUE(StorageOnDisk() == disk) << c.what;
        EXPECT_TRUE(KeyFilesIn(DataDir).empty()) << c.what;
        if (fs::is_directory(Root / "A")) {
            for (const std::string& f : FilesIn(Root / "A"))
                EXPECT_EQ(f.find(".TXT"), std::string::npos) << c.what << ": " << f;
        }
        fs::remove_all(Root / "A");
    }
}

TEST_F(RequestSending, EveryCertificateSignedStopsAtOnce)
{
    for (const std::string& id : Ids)
        Storage().WriteBool(id, "Signed", true);
    EXPECT_FALSE(Send().Sent);
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::AllCertificatesSignedStop});
    EXPECT_TRUE(Ask.PasswordModes.empty());
    EXPECT_TRUE(Ask.Asked.empty()) << "no agreement question after this stop";
}

TEST_F(RequestSending, AMediumHoldingAFolderIsClearedAfterOneQuestionAndTheAgreementFollows)
{
    fs::create_directories(DriveDir + "lost+found");
    WriteFile(DriveDir + "old.CNS", "old");
    Ask.Passwords = {{mrOk, "SENHA123", {}}};
    Ask.Answers = {mrOk, mrOk /* clear */, mrOk /* agreement */};
    const TRequestSending::Outcome outcome = Send();
    EXPECT_TRUE(outcome.Sent);
    EXPECT_TRUE(outcome.ShowAgreement);
    // The question keeps its sentence and names, on lines of their own, the
    // folder, how many files go and which (the folder stays).
    const std::string clear = std::string(Texts::ClearDiskQuestion) + "\nPasta: " + DriveDir
                              + " - arquivos a remover: 1\nSerão removidos: old.CNS";
    EXPECT_EQ(Ask.Asked,
              (std::vector<std::string>{std::string(Texts::InsertFormattedDisk) + "\nPasta do drive A: " + DriveDir,
                                        clear, Texts::AgreementQuestion}));
    EXPECT_FALSE(fs::exists(DriveDir + "old.CNS"));
    EXPECT_TRUE(fs::is_directory(DriveDir + "lost+found"));
    EXPECT_EQ(FilesIn(DriveDir).size(), 2u);
}

// Drive A standing for a folder that holds what the user keeps: the send
// stops with the reason before the medium is asked for, and nothing there is
// deleted, whether the folder was chosen or set in the environment.
TEST_F(RequestSending, ADriveFolderHoldingTheUsersFilesStopsTheSendAndDeletesNothing)
{
    fs::create_directories(Root / "home");
    WriteFile(Root / "home" / ".bashrc", "user's");
    const testsupport::ScopedEnvironment home("HOME", (Root / "home").string());
    struct Case {
        const char* what;
        std::string chosen, environment;
        const char* reason;
    } cases[] = {
        {"the data folder, chosen", DataDir, "", Texts::DriveAHoldsData},
        {"the folder above the data, from the environment", "", Root.string(), Texts::DriveAHoldsData},
        {"the home folder, chosen", (Root / "home").string(), "", Texts::DriveAHoldsHome},
    };
    for (const Case& c : cases) {
        std::vector<std::string> before = FilesIn(DataDir);
        std::sort(before.begin(), before.end());
        Paths = ProgramPaths(DataDir, DataDir);
        Paths.SetChosenDriveA(c.chosen);
        std::optional<testsupport::ScopedEnvironment> drive;
        if (!c.environment.empty())
            drive.emplace("QUORVEX_DRIVE_A", c.environment);
        Ask = ScriptedQuestions{};
        Ask.Passwords = {{mrOk, "SENHA123", {}}};
        const std::string folder = Paths.DriveA();
        EXPECT_FALSE(Send().Sent) << c.what;
        EXPECT_EQ(Ask.Shown, std::vector<std::string>{std::string(Texts::DriveARefused1) + folder
                                                      + Texts::DriveARefused2 + c.reason + Texts::DriveAStop})
            << c.what;
        EXPECT_TRUE(Ask.Asked.empty()) << c.what << ": neither the medium nor the clearing is asked about";
        std::vector<std::string> after = FilesIn(DataDir);
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, before) << c.what;
        EXPECT_EQ(ReadFile(Root / "home" / ".bashrc"), "user's") << c.what;
        EXPECT_FALSE(Storage().ReadBool("General", "RequestSent", false)) << c.what;
    }
}

// A folder of the user's own may stand for drive A (~/.ssh, ~/Documentos):
// sending there takes only an earlier request of the client, named in the
// question, and every file of the user's stays.
TEST_F(RequestSending, AFolderOfTheUsersOwnAsDriveALosesNoFileOfTheUser)
{
    const testsupport::ScopedEnvironment home("HOME", (Root / "home").string());
    const std::string earlier = "{0A1B2C3D-1111-4222-8333-444455556666}.TXT";
    for (const char* folder : {".ssh", "Documentos"}) {
        const fs::path drive = Root / "home" / folder;
        fs::create_directories(drive);
        WriteFile(drive / "id_rsa", "secret");
        WriteFile(drive / "known_hosts", "hosts");
        WriteFile(drive / earlier, "[General]");
        Paths = ProgramPaths(DataDir, DataDir);
        Paths.SetChosenDriveA(drive.string());
        Ask = ScriptedQuestions{};
        Ask.Passwords = {{mrOk, "SENHA123", {}}};
        Ask.Answers = {mrOk /* medium */, mrOk /* clear */, mrCancel /* agreement */};
        EXPECT_TRUE(Send().Sent) << folder << ": " << (Ask.Shown.empty() ? "" : Ask.Shown.back());
        ASSERT_EQ(Ask.Asked.size(), 3u) << folder;
        EXPECT_NE(Ask.Asked[1].find(std::string("Serão removidos: ") + earlier), std::string::npos) << Ask.Asked[1];
        EXPECT_NE(Ask.Asked[1].find("Serão mantidos: "), std::string::npos) << Ask.Asked[1];
        EXPECT_EQ(ReadFile(drive / "id_rsa"), "secret") << folder;
        EXPECT_EQ(ReadFile(drive / "known_hosts"), "hosts") << folder;
        EXPECT_FALSE(fs::exists(drive / earlier)) << folder;
        EXPECT_EQ(FilesIn(drive).size(), 3u) << folder << ": the two files and the new request";
        Storage().WriteBool("General", "RequestSent", false);
    }
}

} // namespace
