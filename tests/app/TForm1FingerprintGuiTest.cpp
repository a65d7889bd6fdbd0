// The main window stamps every storage file at shutdown, unless a restore
// has just replaced them. What the stamp holds is tested without a window
// (tests/crypto/FingerprintStampTest.cpp); here only that the window uses it,
// with the kit it is given (by default one beside the test program, as the
// installed program loads its own beside itself).
#include "support/ExpectedFingerprint.h"
#include "app/TForm1.h"
#include "crypto/KitLibraries.h"
#include "store/TRequestFile.h"
#include "support/ModalAnswerer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using testsupport::ExpectedFingerprint;
using testsupport::ReadFile;
using testsupport::WriteFile;

class FingerprintStamp : public ::testing::Test {
protected:
    void SetUp() override
    {
        Dir = Tmp.Path();
        AppDir = Tmp.Path();
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

    fs::path Storage(int n) const { return Dir / ("STORAGE." + std::to_string(n) + ".DAT"); }

    // Runs the main window over the folder, captures each storage file as it
    // stands just before shutdown, and shuts down. Any message box that
    // shutdown shows is answered and reported. Kit: the kit the window is
    // given; none, and it loads its own.
    std::vector<std::string> RunAndShutDown(int restored = 0, KitLibraries* Kit = nullptr)
    {
        std::vector<std::string> before;
        auto message = std::make_shared<QString>();
        {
            std::unique_ptr<TForm1> window =
                Kit ? std::make_unique<TForm1>(ProgramPaths(AppDir, AppDir), *Kit) : std::make_unique<TForm1>(AppDir);
            TForm1& form = *window;
            for (int n = 1; n <= 3; ++n)
                before.push_back(ReadFile(Storage(n)));
            form.SetRestoredFlag(restored);
            testsupport::AnswerNextModal(
                [message](QWidget* dialog) {
                    *message = testsupport::DialogText(dialog);
                    testsupport::ClickButton(dialog, "OK");
                },
                3000);
        }
        // A kit given may be one that fails; the files then tell. (A message
        // may reach the answer of an earlier test, which is still waiting.)
        if (!Kit) {
            EXPECT_TRUE(message->isEmpty()) << message->toStdString();
        }
        return before;
    }

    testsupport::TempFolder Tmp{"stamp"};
    fs::path Dir;
    std::string AppDir;
};

TEST_F(FingerprintStamp, ShutdownStampsEveryStorageOverItsTextAsItStood)
{
    const auto before = RunAndShutDown();
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(TRequestFile(Storage(n).string()).ReadString("Fingerprint", "Value", ""),
                  ExpectedFingerprint(before[static_cast<std::size_t>(n - 1)]))
            << n;
    }
}

// Given a kit that cannot be loaded, the window stamps nothing, rather than
// finding a kit elsewhere.
TEST_F(FingerprintStamp, TheWindowStampsWithTheKitItIsGiven)
{
    KitLibraries missing((Dir / "nokit").string());
    const auto before = RunAndShutDown(0, &missing);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(ReadFile(Storage(n)), before[static_cast<std::size_t>(n - 1)]) << n;
}

TEST_F(FingerprintStamp, NothingIsStampedAfterARestore)
{
    const auto before = RunAndShutDown(1);
    for (int n = 1; n <= 3; ++n)
        EXPECT_EQ(ReadFile(Storage(n)), before[static_cast<std::size_t>(n - 1)]) << n;
}

} // namespace
