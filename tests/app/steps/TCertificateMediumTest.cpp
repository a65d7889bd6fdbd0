// Writing a signed certificate to its medium with the real kit: the name
// rules, three attempts at the current password, and that the certificate
// leaves the storage only once the medium has been read back.
#include "base/FormatText.h"
#include "app/steps/TCertificateMedium.h"
#include "app/steps/KeyFileOperations.h"
#include "base/Texts.h"
#include "crypto/TRSAMedia.h"

#include "StepFixture.h"
#include "support/ScopedEnvironment.h"

#include <algorithm>
#include <sys/stat.h>

using namespace steptest;

namespace {

class CertificateMedium : public StepFixture {
protected:
    void SetUp() override
    {
        StepFixture::SetUp();
        Id = CreateCertificate(*this, Ask, *Context, "SENHA123");
        // Receiving is not under test here: the flag is what the step reads.
        Storage().WriteBool(Id, "Signed", true);
        Storage().WriteString(Id, "Name", "Meu certificado");
        Storage().UpdateFile();
        Ask = ScriptedQuestions{};
    }
    bool Disk() { return TCertificateMedium(*Context).FileDisk(Id); }
    bool KeyOpensWith(const std::string& File, const std::string& Password)
    {
        TRSAMedia media(Context->Kit, File);
        media.Open();
        const bool ok = media.ChangePassword(Password, Password);
        media.Close();
        return ok;
    }
    std::string Id;
};

TEST_F(CertificateMedium, ARightPasswordOnTheThirdAttemptWritesTheMediumAndRemovesTheCertificate)
{
    Ask.Answers = {mrOk};
    Ask.Files = {DriveDir + "Meu certificado"};
    Ask.Passwords = {
        {mrOk, "ERRADA11", "DEFINITIVA1"}, {mrOk, "ERRADA22", "DEFINITIVA1"}, {mrOk, "SENHA123", "DEFINITIVA1"}};
    EXPECT_TRUE(Disk()) << (Ask.Shown.empty() ? "" : Ask.Shown.back());
    EXPECT_EQ(Ask.Shown, (std::vector<std::string>{
                             Texts::WrongCurrentPassword, Texts::WrongCurrentPassword,
                             FormatText(Texts::MediumWritten, {"Meu certificado.PRI", (Root / "A").string()})}));
    EXPECT_EQ(Ask.Asked,
              std::vector<std::string>{std::string(Texts::InsertFormattedDisk) + "\nPasta do drive A: " + DriveDir});
    ASSERT_EQ(Ask.FileQuestions.size(), 1u);
    EXPECT_EQ(Ask.FileQuestions[0].Title, Texts::DiskTitle);
    EXPECT_EQ(Ask.FileQuestions[0].Folder, DriveDir);
    EXPECT_EQ(Ask.FileQuestions[0].ProposedName, "Meu certificado.PRI");

    EXPECT_EQ(FilesIn(DriveDir), std::vector<std::string>{"Meu certificado.PRI"});
    EXPECT_TRUE(KeyOpensWith(DriveDir + "Meu certificado.PRI", "DEFINITIVA1"));
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
    Reload();
    EXPECT_FALSE(Storage().SectionExists(Id));
    EXPECT_EQ(Storage().ReadString("General", "MasterKey", "absent"), "absent") << "the last one: back to registered";
}

TEST_F(CertificateMedium, StopsKeepTheCertificateAndLeaveNoKeyFileAnywhere)
{
    const std::string disk = StorageOnDisk();
    struct Case {
        const char* what;
        std::deque<PasswordScript> passwords;
        std::function<void()> arrange;
        std::string shown; // prefix of the last message; empty: none
    } cases[] = {
        {"three wrong passwords",
         {{mrOk, "ERRADA11", "DEFINITIVA1"}, {mrOk, "ERRADA22", "DEFINITIVA1"}, {mrOk, "ERRADA33", "DEFINITIVA1"}},
         {},
         Texts::TooManyPasswordAttempts},
        {"password dialog cancelled", {{mrCancel, {}, {}}}, {}, ""},
        {"cancelled at the second attempt",
         {{mrOk, "ERRADA11", "DEFINITIVA1"}, {mrCancel, {}, {}}},
         {},
         Texts::WrongCurrentPassword},
        {"written key does not read back as the stored one",
         {{mrOk, "SENHA123", "DEFINITIVA1"}},
         [&] { Storage().WriteString(Id, "PublicKey", std::string(280, 'A')); },
         Texts::MediumNotConfirmed},
        {"kit error on the medium (a damaged key file)",
         {{mrOk, "SENHA123", "DEFINITIVA1"}},
         [&] { Storage().WriteString(Id, "KeyFile", "0102030405060708"); },
         "Ocorreu um erro"},
    };
    for (Case& c : cases) {
        Ask = ScriptedQuestions{};
        Ask.Answers = {mrOk};
        Ask.Files = {DriveDir + "x"};
        Ask.Passwords = c.passwords;
        Storage().SetText(ReadFile(DataDir + "STORAGE.1.DAT"));
        if (c.arrange)
            c.arrange();
        EXPECT_FALSE(Disk()) << c.what;
        if (c.shown.empty())
            EXPECT_TRUE(Ask.Shown.empty()) << c.what;
        else
            EXPECT_TRUE(!Ask.Shown.empty() && Ask.Shown.back().rfind(c.shown, 0) == 0)
                << c.what << ": " << (Ask.Shown.empty() ? "" : Ask.Shown.back());
        EXPECT_TRUE(FilesIn(DriveDir).empty()) << c.what << ": the medium file is wiped";
        EXPECT_TRUE(KeyFilesIn(DataDir).empty()) << c.what;
        EXPECT_TRUE(Storage().SectionExists(Id)) << c.what;
        EXPECT_TRUE(StorageOnDisk() == disk) << c.what;
    }
}

TEST_F(CertificateMedium, TheKeyExtensionRuleComesBeforeTheQuestionAboutAnExistingFile)
{
    EXPECT_EQ(TCertificateMedium::WithKeyExtension("/a/x.TXT"), "/a/x.TXT.PRI");
    EXPECT_EQ(TCertificateMedium::WithKeyExtension("/a/x.pri"), "/a/x.pri");
    EXPECT_EQ(TCertificateMedium::WithKeyExtension("/a/x.Pri"), "/a/x.Pri");
    EXPECT_EQ(TCertificateMedium::WithKeyExtension("/a/x"), "/a/x.PRI");
    EXPECT_EQ(TCertificateMedium::WithKeyExtension("/a.b/x"), "/a.b/x.PRI");

    // Elsewhere than on the cleared medium a file of the final name exists:
    // the question names it, and No leaves it as it was.
    fs::create_directories(Root / "out");
    WriteFile(Root / "out" / "chave.PRI", "someone else's");
    Ask.Answers = {mrOk, mrNo};
    Ask.Files = {(Root / "out" / "chave").string()};
    EXPECT_FALSE(Disk());
    ASSERT_EQ(Ask.Asked.size(), 2u);
    EXPECT_EQ(Ask.Asked[1], FormatText(Texts::ReplaceFileQuestion, {(Root / "out" / "chave.PRI").string()}));
    EXPECT_EQ(ReadFile(Root / "out" / "chave.PRI"), "someone else's");
    EXPECT_TRUE(Ask.PasswordModes.empty());
    EXPECT_TRUE(KeyFilesIn(DriveDir).empty());
    EXPECT_TRUE(Storage().SectionExists(Id));
}

TEST_F(CertificateMedium, AHostileNameIsProposedAsAPlainFileNameAndUnsignedIsRefused)
{
    Storage().WriteString(Id, "Name", "../../etc/cron.d/evil");
    Ask.Answers = {mrOk};
    Ask.Files = {""}; // cancelled at the save dialog
    EXPECT_FALSE(Disk());
    ASSERT_EQ(Ask.FileQuestions.size(), 1u);
    EXPECT_EQ(Ask.FileQuestions[0].ProposedName, "evil.PRI");

    Storage().WriteBool(Id, "Signed", false);
    Ask = ScriptedQuestions{};
    EXPECT_FALSE(Disk());
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::NotSignedYet});
    EXPECT_TRUE(Ask.Asked.empty());
}

std::string BuildFolder()
{
    return fs::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

// The medium is written where the user chose even when drive A and that
// folder lie on two file systems (the key file cannot be renamed there): it
// is copied, read back, and the key file left on drive A is wiped.
TEST_F(CertificateMedium, AMediumIsWrittenToAFolderOnAnotherFileSystem)
{
    struct stat shm {
    }, build{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(BuildFolder().c_str(), &build) != 0 || shm.st_dev == build.st_dev)
        GTEST_SKIP() << "/dev/shm and the build folder " << BuildFolder() << " are not two file systems here";
    const std::string tag = "medium-" + std::to_string(::getpid());
    const std::string inMemory = "/dev/shm/quorvex-" + tag + "/";
    const std::string inBuild = BuildFolder() + tag + "/";
    struct Case {
        const char* what;
        std::string drive, target;
    } cases[] = {{"drive in memory, target in the build folder", inMemory + "A/", inBuild + "out/"},
                 {"drive in the build folder, target in memory", inBuild + "A/", inMemory + "out/"}};
    for (const Case& c : cases) {
        fs::create_directories(c.drive);
        fs::create_directories(c.target);
        if (!Storage().SectionExists(Id)) {
            Id = CreateCertificate(*this, Ask, *Context, "SENHA123");
            Storage().WriteBool(Id, "Signed", true);
        }
        Paths = ProgramPaths(DataDir, DataDir, c.drive);
        Ask = ScriptedQuestions{};
        Ask.Answers = {mrOk};
        Ask.Files = {c.target + "chave"};
        Ask.Passwords = {{mrOk, "SENHA123", "DEFINITIVA1"}};
        EXPECT_TRUE(Disk()) << c.what << ": " << (Ask.Shown.empty() ? "" : Ask.Shown.back());
        EXPECT_EQ(FilesIn(c.target), std::vector<std::string>{"chave.PRI"}) << c.what;
        EXPECT_TRUE(KeyOpensWith(c.target + "chave.PRI", "DEFINITIVA1")) << c.what;
        EXPECT_TRUE(FilesIn(c.drive).empty()) << c.what << ": the extracted key file is wiped";
        EXPECT_FALSE(Storage().SectionExists(Id)) << c.what;
    }
    fs::remove_all(inMemory);
    fs::remove_all(inBuild);
}

// Drive A set to the user's home: the step stops with the reason before it
// asks for the medium, and the home's files stay.
TEST_F(CertificateMedium, ADriveFolderHoldingTheHomeStopsTheMediumAndDeletesNothing)
{
    fs::create_directories(Root / "home");
    WriteFile(Root / "home" / ".profile", "user's");
    const testsupport::ScopedEnvironment home("HOME", (Root / "home").string());
    Paths = ProgramPaths(DataDir, DataDir, (Root / "home").string());
    EXPECT_FALSE(Disk());
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{std::string(Texts::DriveARefused1) + Paths.DriveA() + Texts::DriveARefused2
                                       + Texts::DriveAHoldsHome + Texts::DriveAStop});
    EXPECT_TRUE(Ask.Asked.empty());
    EXPECT_EQ(FilesIn(Root / "home"), std::vector<std::string>{".profile"});
    EXPECT_TRUE(Storage().SectionExists(Id));
}

// The medium is cleared only once its target is chosen, right before the
// key is written: a Cancel in the save dialog deletes nothing, a key saved
// elsewhere leaves the drive as it is, and a key file that holds a signed
// certificate (the only copy of an earlier key) is never cleared.
TEST_F(CertificateMedium, TheMediumIsClearedOnlyRightBeforeTheKeyIsWrittenAndNeverOfASignedKey)
{
    const std::string earlier = KitKeyFileBytes(true);
    const std::string request = "{0A1B2C3D-1111-4222-8333-444455556666}.TXT";
    const std::vector<std::string> before = {"ANTIGA.PRI", "planilha.xls", request};
    WriteFile(DriveDir + "ANTIGA.PRI", earlier);
    WriteFile(DriveDir + "planilha.xls", "user's");
    WriteFile(DriveDir + request, "[General]");
    auto sorted = [](std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    };
    fs::create_directories(Root / "out");
    struct Case {
        const char* what;
        std::string file; // "" cancels the save dialog
        bool written;
        std::vector<std::string> left; // on the drive afterwards
    } cases[] = {
        {"save dialog cancelled", "", false, before},
        {"key saved into another folder", (Root / "out" / "chave").string(), true, before},
        {"key saved on the drive", DriveDir + "nova", true, {"ANTIGA.PRI", "nova.PRI", "planilha.xls"}},
    };
    for (const Case& c : cases) {
        if (!Storage().SectionExists(Id)) {
            Id = CreateCertificate(*this, Ask, *Context, "SENHA123");
            Storage().WriteBool(Id, "Signed", true);
        }
        Ask = ScriptedQuestions{};
        const bool onDrive = c.file.rfind(DriveDir, 0) == 0;
        Ask.Answers = {mrOk};
        if (onDrive)
            Ask.Answers.push_back(mrOk);
        Ask.Files = {c.file};
        Ask.Passwords = {{mrOk, "SENHA123", "DEFINITIVA1"}};
        EXPECT_EQ(Disk(), c.written) << c.what;
        EXPECT_EQ(sorted(FilesIn(DriveDir)), sorted(c.left)) << c.what;
        EXPECT_EQ(ReadFile(DriveDir + "ANTIGA.PRI"), earlier) << c.what;
        if (onDrive) {
            ASSERT_EQ(Ask.Asked.size(), 2u) << c.what;
            EXPECT_EQ(Ask.Asked[1], std::string(Texts::ClearDiskClientFilesQuestion) + "\nPasta: " + DriveDir
                                        + " - arquivos a remover: 1\nSerão removidos: " + request
                                        + "\nSerão mantidos, pois contêm um certificado eletrônico assinado: "
                                          "ANTIGA.PRI\nSerão mantidos: planilha.xls")
                << c.what;
            EXPECT_TRUE(KeyOpensWith(DriveDir + "nova.PRI", "DEFINITIVA1")) << c.what;
        } else {
            EXPECT_EQ(Ask.Asked.size(), 1u) << c.what << ": no clearing question";
        }
    }
}

} // namespace
