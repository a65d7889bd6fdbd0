// The shutdown stamp of the main window: every storage file gets
// [Fingerprint] Value = the truncated SHA-256 of its text as it stood, in
// upper-case hex, and is saved. The kit is found beside the test program, as
// the installed program finds it beside itself.
#include "support/ExpectedFingerprint.h"
#include "app/TForm1.h"
#include "store/TRequestFile.h"
#include "support/ModalAnswerer.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <QApplication>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using testsupport::ExpectedFingerprint;
using testsupport::ReadFile;
using testsupport::WriteFile;

class FingerprintStamp : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = fs::temp_directory_path() / ("stamp-" + std::to_string(::getpid()) + "-"
                                           + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(Dir);
        AppDir = Dir.string() + "/";
        std::string registry = "[General]\r\nCount=3\r\nCountAll=3\r\nActiveIndex=1\r\n\r\n";
        const char* names[] = {"Alfa Ltda", "Beta S.A.", "Gama ME"};
        for (int n = 1; n <= 3; ++n) {
            registry += "[Entity" + std::to_string(n) + "]\r\nfilename=" + AppDir + "STORAGE." + std::to_string(n)
                + ".DAT\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=1122233300018" + std::to_string(n)
                + "\r\nRazao=" + names[n - 1] + "\r\nIndex=" + std::to_string(n) + "\r\n\r\n";
        }
        WriteFile(Dir / "ENTITY.DAT", registry);
        WriteFile(Dir / "STORAGE.1.DAT",
                  "[General]\r\nRequest=1\r\nMasterKey={A}\r\n\r\n[{A}]\r\nName=Primeiro\r\nKeyFile=00FF\r\n\r\n");
        // An earlier stamp is part of what is hashed.
        WriteFile(Dir / "STORAGE.2.DAT",
                  "[General]\r\nRequest=1\r\n\r\n[Fingerprint]\r\nValue=00000000000000000000000000000000\r\n\r\n");
        WriteFile(Dir / "STORAGE.3.DAT", "");
    }
    void TearDown() override { fs::remove_all(Dir); }

    fs::path Storage(int n) const { return Dir / ("STORAGE." + std::to_string(n) + ".DAT"); }

    // Runs the main window over the folder, captures each storage file as it
    // stands just before shutdown, and shuts down. Any message box that
    // shutdown shows is answered and reported.
    std::vector<std::string> RunAndShutDown(int restored = 0)
    {
        std::vector<std::string> before;
        auto message = std::make_shared<QString>();
        {
            TForm1 form(AppDir);
            for (int n = 1; n <= 3; ++n)
                before.push_back(ReadFile(Storage(n)));
            form.Restored = restored;
            testsupport::AnswerNextModal(
                [message](QWidget* dialog) {
                    *message = testsupport::DialogText(dialog);
                    testsupport::ClickButton(dialog, "OK");
                },
                3000);
        }
        EXPECT_TRUE(message->isEmpty()) << message->toStdString();
        return before;
    }

    fs::path Dir;
    std::string AppDir;
};

TEST_F(FingerprintStamp, EveryStorageGetsTheDigestOfItsTextAsItStood)
{
    const auto before = RunAndShutDown();
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        TRequestFile after(Storage(n).string());
        const std::string value = after.ReadString("Fingerprint", "Value", "");
        EXPECT_EQ(value, ExpectedFingerprint(before[static_cast<std::size_t>(n - 1)]));
        ASSERT_EQ(value.size(), 32u);
        EXPECT_EQ(value.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
    // Nothing else in the files changed.
    TRequestFile first(Storage(1).string());
    first.EraseSection("Fingerprint");
    EXPECT_EQ(first.Text(), before[0]);
    TRequestFile second(Storage(2).string());
    EXPECT_EQ(second.ReadString("General", "Request", ""), "1");
    std::vector<std::string> sections;
    second.ReadSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"General", "Fingerprint"})) << "the stamp is replaced, not added";
    EXPECT_NE(before[1].find("Value=00000000000000000000000000000000"), std::string::npos);
}

TEST_F(FingerprintStamp, ANewRunStampsAgainOverTheTextWithTheOldStamp)
{
    RunAndShutDown();
    const std::string firstValue = TRequestFile(Storage(1).string()).ReadString("Fingerprint", "Value", "");
    const auto before = RunAndShutDown();
    const std::string secondValue = TRequestFile(Storage(1).string()).ReadString("Fingerprint", "Value", "");
    EXPECT_NE(before[0].find(firstValue), std::string::npos);
    EXPECT_EQ(secondValue, ExpectedFingerprint(before[0]));
    EXPECT_NE(secondValue, firstValue);
}

TEST_F(FingerprintStamp, NothingIsStampedAfterARestore)
{
    const auto before = RunAndShutDown(1);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(ReadFile(Storage(n)), before[static_cast<std::size_t>(n - 1)]) << n;
}

} // namespace
