// The medium steps on the folders a user really has: a FAT stick (a FAT
// image through FUSE, as on a machine whose kernel has no FAT driver) that
// also holds the user's files and the only copy of an earlier key, and a
// bind mount or another letter case of the data folder standing for drive A.
#include "app/steps/TCertificateMedium.h"
#include "app/steps/TRequestSending.h"
#include "base/DriveAGuard.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "crypto/TRSAMedia.h"

#include "StepFixture.h"
#include "support/ScopedMount.h"

#include <algorithm>

using namespace steptest;

namespace {

class MediumFolders : public StepFixture {
protected:
    std::vector<std::string> Sorted(const fs::path& Dir)
    {
        std::vector<std::string> names = FilesIn(Dir);
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string LastShown() const { return Ask.Shown.empty() ? std::string() : Ask.Shown.back(); }
};

// Sending a request and writing a finished key both reach a FAT stick, where
// no file can be given a mode; the user's photo and the earlier key stay.
TEST_F(MediumFolders, ARequestAndAKeyAreWrittenOnAFatStickBesideWhatTheUserKeeps)
{
    testsupport::ScopedMount stick(testsupport::ScopedMount::Type::FatImage, (Root / "stick.img").string(),
                                   (Root / "stick").string());
    ASSERT_FALSE(stick.Missing()) << stick.Why();
    if (!stick.Made())
        GTEST_SKIP() << stick.Why();
    const std::string drive = (Root / "stick").string() + "/";
    const std::string earlier = KitKeyFileBytes(true);
    WriteFile(drive + "FOTO.JPG", "user's");
    WriteFile(drive + "ANTIGA.PRI", earlier);
    Paths = ProgramPaths(DataDir, DataDir, drive);
    const std::string id = CreateCertificate(*this, Ask, *Context);

    Ask = ScriptedQuestions{};
    Ask.Passwords = {{mrOk, "SENHA123", {}}};
    Ask.Answers = {mrOk /* medium */, mrCancel /* agreement */};
    const TRequestSending::Outcome sent = TRequestSending(*Context).RequestSend();
    ASSERT_TRUE(sent.Sent) << LastShown();
    const std::string request = sent.FileName.substr(drive.size());
    EXPECT_EQ(Ask.Asked.size(), 2u) << "nothing of the client's on the stick: no clearing question";
    EXPECT_EQ(Sorted(drive), (std::vector<std::string>{"ANTIGA.PRI", "FOTO.JPG", request}));
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{
                             FormatText(Texts::RequestWritten, {request, drive.substr(0, drive.size() - 1)})});

    Storage().WriteBool(id, "Signed", true);
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrOk /* medium */, mrOk /* the request goes */};
    Ask.Files = {drive + "chave"};
    Ask.Passwords = {{mrOk, "SENHA123", "DEFINITIVA1"}};
    EXPECT_TRUE(TCertificateMedium(*Context).FileDisk(id)) << LastShown();
    EXPECT_EQ(Sorted(drive), (std::vector<std::string>{"ANTIGA.PRI", "FOTO.JPG", "chave.PRI"}));
    EXPECT_EQ(ReadFile(drive + "ANTIGA.PRI"), earlier);
    EXPECT_EQ(ReadFile(drive + "FOTO.JPG"), "user's");
    TRSAMedia media(Context->Kit, drive + "chave.PRI");
    media.Open();
    EXPECT_TRUE(media.ChangePassword("DEFINITIVA1", "DEFINITIVA1"));
    media.Close();
    EXPECT_EQ(LastShown(), FormatText(Texts::MediumWritten, {"chave.PRI", drive.substr(0, drive.size() - 1)}));
    EXPECT_FALSE(Storage().SectionExists(id));
}

// Drive A as a bind mount of the data folder (or of the folder holding it):
// the send stops with the reason and nothing in the data folder is touched.
TEST_F(MediumFolders, ABindMountOfTheDataFolderAsDriveAStopsTheSendAndDeletesNothing)
{
    CreateCertificate(*this, Ask, *Context);
    WriteFile(DataDir + "{0A1B2C3D-1111-4222-8333-444455556666}.TXT", "a request kept in the data folder");
    const std::string point = fs::temp_directory_path().string() + "/quorvex-bound-" + std::to_string(::getpid());
    for (const fs::path& source : {Root / "data", Root}) {
        testsupport::ScopedMount bound(testsupport::ScopedMount::Type::Bind, source.string(), point);
        if (!bound.Made())
            GTEST_SKIP() << bound.Why();
        std::vector<std::string> before = Sorted(DataDir);
        Paths = ProgramPaths(DataDir, DataDir, point);
        Ask = ScriptedQuestions{};
        Ask.Passwords = {{mrOk, "SENHA123", {}}};
        EXPECT_FALSE(TRequestSending(*Context).RequestSend().Sent) << source;
        EXPECT_EQ(Ask.Shown,
                  std::vector<std::string>{std::string(Texts::DriveARefused1) + Paths.DriveA() + Texts::DriveARefused2
                                           + Texts::DriveAHoldsData + Texts::DriveAStop})
            << source;
        EXPECT_TRUE(Ask.Asked.empty()) << source;
        EXPECT_EQ(Sorted(DataDir), before) << source;
    }
    fs::remove(point);
}

// A portable copy kept on a FAT stick, reached in another letter case, is
// still the data folder.
TEST_F(MediumFolders, ThePortableDataFolderOnAFatStickInAnotherLetterCaseIsRefused)
{
    testsupport::ScopedMount stick(testsupport::ScopedMount::Type::FatImage, (Root / "stick.img").string(),
                                   (Root / "stick").string());
    ASSERT_FALSE(stick.Missing()) << stick.Why();
    if (!stick.Made())
        GTEST_SKIP() << stick.Why();
    fs::create_directories(Root / "stick" / "QUORVEX" / "A");
    const ProgramPaths portable((Root / "stick" / "QUORVEX").string() + "/", (Root / "stick" / "QUORVEX").string());
    for (const char* spelling : {"quorvex", "Quorvex", "QUORVEX"}) {
        const std::string drive = (Root / "stick" / spelling).string();
        EXPECT_EQ(DriveAGuard::Refusal(portable, drive),
                  std::string(Texts::DriveARefused1) + drive + Texts::DriveARefused2 + Texts::DriveAHoldsData)
            << spelling;
    }
    EXPECT_EQ(DriveAGuard::Refusal(portable, (Root / "stick" / "quorvex" / "A").string()), "")
        << "the default folder inside it stays allowed";
}

} // namespace
