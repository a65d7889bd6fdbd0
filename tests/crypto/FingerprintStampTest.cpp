// The fingerprint stamp over a registry, without a window: the real kit
// (loaded from the program's folder) against a digest computed here with
// OpenSSL.
#include "support/ExpectedFingerprint.h"
#include "support/TempFolder.h"
#include "support/TestKit.h"
#include "crypto/FingerprintStamp.h"

#include "crypto/KitLibraries.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using testsupport::ExpectedFingerprint;
using testsupport::ReadFile;
using testsupport::TestKit;
using testsupport::WriteFile;

class FingerprintStampTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = tmp.Path();
        appDir = tmp.Path();
    }

    // A registry of the given storage texts, entity 2 active.
    void WriteData(const std::vector<std::string>& storages)
    {
        std::string registry = "[General]\r\nCount=" + std::to_string(storages.size())
                               + "\r\nCountAll=" + std::to_string(storages.size()) + "\r\nActiveIndex=2\r\n\r\n";
        for (std::size_t i = 0; i < storages.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            registry += "[Entity" + n + "]\r\nfilename=" + appDir + "STORAGE." + n + ".DAT\r\nRazao=E" + n
                        + "\r\nIndex=" + n + "\r\n\r\n";
            WriteFile(Storage(static_cast<int>(i + 1)), storages[i]);
        }
        WriteFile(dir / "ENTITY.DAT", registry);
    }
    fs::path Storage(int n) const { return dir / ("STORAGE." + std::to_string(n) + ".DAT"); }
    // The inode and bytes of storage files 1..Count: a file replaced on disk
    // gets a new inode, so the inode tells what was written.
    std::vector<std::pair<std::uintmax_t, std::string>> Files(int Count) const
    {
        std::vector<std::pair<std::uintmax_t, std::string>> out;
        for (int n = 1; n <= Count; ++n) {
            struct stat st {};
            ::stat(Storage(n).c_str(), &st);
            out.emplace_back(st.st_ino, ReadFile(Storage(n)));
        }
        return out;
    }

    testsupport::TempFolder tmp{"fpstamp"};
    fs::path dir;
    std::string appDir;
};

TEST_F(FingerprintStampTest, EveryStorageGetsTheDigestOfItsTextAsItStoodAndIsSaved)
{
    WriteData({"[General]\r\nRequest=1\r\nMasterKey={A}\r\n\r\n[{A}]\r\nName=Primeiro\r\nKeyFile=00FF\r\n\r\n",
               // An earlier stamp is part of what is hashed, and replaced.
               "[General]\r\nRequest=1\r\n\r\n[Fingerprint]\r\nValue=00000000000000000000000000000000\r\n\r\n", ""});
    TRequestFile registryFile(appDir + "ENTITY.DAT");
    TUsersData registry(registryFile, appDir);
    std::vector<std::string> before;
    for (int n = 1; n <= 3; ++n)
        before.push_back(ReadFile(Storage(n)));
    ASSERT_EQ(registry.Count(), 3);

    StampFingerprints(registry, TestKit());

    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE(n);
        TRequestFile after(Storage(n).string()); // what is on disk
        EXPECT_EQ(after.ReadString("Fingerprint", "Value", ""),
                  ExpectedFingerprint(before[static_cast<std::size_t>(n - 1)]));
        after.EraseSection("Fingerprint");
        TRequestFile original(Storage(n).string());
        original.SetText(before[static_cast<std::size_t>(n - 1)]);
        original.EraseSection("Fingerprint");
        EXPECT_EQ(after.Text(), original.Text()) << "nothing but the stamp changed";
    }
    EXPECT_EQ(registry.ActiveIndex(), 2);
}

TEST_F(FingerprintStampTest, AFileUnchangedSinceItsLastStampIsNeitherStampedNorWrittenAgain)
{
    WriteData({"[General]\r\nRequest=1\r\n\r\n", "[General]\r\nRequest=2\r\n\r\n", "[General]\r\nRequest=3\r\n\r\n"});
    TRequestFile registryFile(appDir + "ENTITY.DAT");
    TUsersData registry(registryFile, appDir);
    StampFingerprints(registry, TestKit());
    const auto inodes = [&] { return Files(3); };
    const auto first = inodes();
    StampFingerprints(registry, TestKit()); // a backup, then the shutdown: nothing changed between
    EXPECT_EQ(inodes(), first);

    registry.Storage(2)->WriteString("General", "Request", "5");
    const std::string changed = registry.Storage(2)->Text();
    StampFingerprints(registry, TestKit());
    const auto second = inodes();
    EXPECT_EQ(second[0], first[0]);
    EXPECT_EQ(second[2], first[2]);
    EXPECT_NE(second[1].first, first[1].first);
    EXPECT_EQ(TRequestFile(Storage(2).string()).ReadString("Fingerprint", "Value", ""), ExpectedFingerprint(changed));
}

// The next run knows the files that the last one stamped and that nobody
// touched since: it neither stamps nor writes them again.
TEST_F(FingerprintStampTest, AFileUntouchedSinceAnEarlierRunsStampIsNotStampedAgain)
{
    WriteData({"[General]\r\nRequest=1\r\n\r\n", "[General]\r\nRequest=2\r\n\r\n", "[General]\r\nRequest=3\r\n\r\n"});
    const auto run = [&](const std::function<void(TUsersData&)>& Work) {
        // A process of its own, so that nothing this one remembers helps.
        const pid_t child = ::fork();
        if (child == 0) {
            TRequestFile registryFile(appDir + "ENTITY.DAT");
            TUsersData registry(registryFile, appDir);
            Work(registry);
            StampFingerprints(registry, TestKit());
            ::_exit(0);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        ASSERT_EQ(status, 0);
        // Files written just before a load are read again (a quick second
        // write could share their time); these are older by then.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    };
    const auto files = [&] { return Files(3); };
    run([](TUsersData&) {});
    const auto first = files();
    run([](TUsersData&) {});
    EXPECT_EQ(files(), first);

    // Changed on disk by someone else (the mark stays): stamped over.
    WriteFile(Storage(1), "[General]\r\nRequest=7\r\n\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    run([](TUsersData& registry) { registry.Storage(2)->WriteString("General", "Request", "5"); });
    const auto second = files();
    EXPECT_NE(second[0].first, first[0].first);
    EXPECT_EQ(TRequestFile(Storage(1).string()).ReadString("Fingerprint", "Value", ""),
              ExpectedFingerprint("[General]\r\nRequest=7\r\n\r\n"));
    // Edited in memory: stamped again, and saved whole (a new file), even
    // though its change fits in one sector.
    EXPECT_NE(second[1].first, first[1].first);
    std::string edited = first[1].second;
    edited.replace(edited.find("Request=2"), 9, "Request=5");
    EXPECT_EQ(TRequestFile(Storage(2).string()).ReadString("Fingerprint", "Value", ""), ExpectedFingerprint(edited));
    EXPECT_EQ(second[2], first[2]);
}

TEST_F(FingerprintStampTest, AKitThatCannotBeLoadedRaisesAndChangesNothing)
{
    WriteData({"[General]\r\nRequest=1\r\n\r\n", "[General]\r\nRequest=2\r\n\r\n"});
    TRequestFile registryFile(appDir + "ENTITY.DAT");
    TUsersData registry(registryFile, appDir);
    const std::string first = ReadFile(Storage(1)), second = ReadFile(Storage(2));
    KitLibraries missing((dir / "nokit").string());
    EXPECT_THROW(StampFingerprints(registry, missing), EDLLLoadFail);
    EXPECT_EQ(ReadFile(Storage(1)), first);
    EXPECT_EQ(ReadFile(Storage(2)), second);
}

} // namespace
