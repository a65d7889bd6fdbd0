// Runs the built archive tool as its users do and checks what it leaves behind.

#include "base/InstanceLock.h"
#include "support/FileBytes.h"
#include "support/RunTool.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

using testsupport::Quote;
using Result = testsupport::ToolResult;

// The archive keeps names in lower case, a folder's random part too.
std::string Lower(const fs::path& p)
{
    std::string s = p.string();
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The archive tool, optionally killed after a time limit.
Result Tool(const std::string& args, int seconds = 0)
{
    return testsupport::RunTool("qvarchive", args, seconds);
}

class QvarchiveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fs::exists(std::string(QUORVEX_APP_DIR) + "qvarchive")) << "build the qvarchive target";
        root = tmp.Path();
        fs::create_directories(root / "data");
        fs::create_directories(root / "out");
        std::mt19937 rng(7);
        big.resize(2'000'000);
        for (auto& c : big)
            c = static_cast<char>(rng());
        std::ofstream(root / "data" / "STORAGE.1.DAT", std::ios::binary) << big;
        std::ofstream(root / "data" / "ENTITY.DAT", std::ios::binary) << "[Geral]\r\nEntidades=1\r\n";
    }

    std::string P(const fs::path& p) const { return Quote(p.string()); }

    testsupport::TempFolder tmp{"qvtool"};
    fs::path root;
    std::string big;
};

TEST_F(QvarchiveTest, CreateListVerifyRestoreOverTwoVolumes)
{
    const fs::path arc = root / "copia.bkp";
    auto r = Tool("create -m 1400000 -i " + P(arc) + " " + P(root / "data" / "*.DAT"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::exists(root / "copia.002"));

    r = Tool("list " + P(arc));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("FILE:LIST"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2000000  " + Lower(root / "data" / "storage.1.dat")), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("entity.dat"), std::string::npos) << r.out;

    r = Tool("verify " + P(arc));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("OK, 3 entries, 2 volumes"), std::string::npos) << r.out;

    r = Tool("restore " + P(arc) + " " + P(root / "out"));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(testsupport::ReadFile(root / "out" / "STORAGE.1.DAT"), big);
    EXPECT_EQ(testsupport::ReadFile(root / "out" / "ENTITY.DAT"), "[Geral]\r\nEntidades=1\r\n");
    EXPECT_FALSE(fs::exists(root / "out" / "FILE:LIST"));
}

TEST_F(QvarchiveTest, VerifyFailsOnMissingVolumeDamageAndTruncation)
{
    const fs::path arc = root / "copia.bkp";
    ASSERT_EQ(Tool("create -m 1400000 " + P(arc) + " " + P(root / "data" / "*.DAT")).code, 0);
    const std::string first = testsupport::ReadFile(arc);

    // A missing volume.
    fs::rename(root / "copia.002", root / "moved.002");
    auto r = Tool("verify " + P(arc));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("volume 2 is missing"), std::string::npos) << r.out;
    fs::rename(root / "moved.002", root / "copia.002");

    // One flipped byte inside the compressed entity file.
    const auto at = first.find("[Geral]");
    ASSERT_EQ(at, std::string::npos); // stored compressed, so not in plain text
    // Raw chunks carry no check, so damage one inside the compressed entity
    // file: name, stamp, "EC2\0", length, then the zlib stream.
    const std::string name = "entity.dat";
    const auto entry = first.find(name);
    ASSERT_NE(entry, std::string::npos);
    std::string damaged = first;
    damaged[entry + name.size() + 12 + 6] ^= 0x20;
    std::ofstream(root / "damaged.bkp", std::ios::binary) << damaged;
    fs::copy_file(root / "copia.002", root / "damaged.002");
    r = Tool("verify " + P(root / "damaged.bkp"));
    EXPECT_EQ(r.code, 1) << r.out;

    // Without its final 0 (the last volume cut short).
    const std::string second = testsupport::ReadFile(root / "copia.002");
    std::ofstream(root / "cut.bkp", std::ios::binary) << first;
    std::ofstream(root / "cut.002", std::ios::binary) << second.substr(0, second.size() - 4);
    r = Tool("verify " + P(root / "cut.bkp"));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("Cannot read file"), std::string::npos) << r.out;

    // A header that cannot be read.
    std::ofstream(root / "short.bkp", std::ios::binary) << "ab";
    r = Tool("list " + P(root / "short.bkp"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("Cannot read archive"), std::string::npos) << r.out;

    EXPECT_EQ(Tool("verify " + P(root / "none.bkp")).code, 1);
    EXPECT_EQ(Tool("restore " + P(root / "none.bkp") + " " + P(root / "out")).code, 1);
    EXPECT_EQ(Tool("frobnicate").code, 2);
    EXPECT_EQ(Tool("create -l fast x y").code, 2);
    // A pattern that matches nothing is a failure, not an empty success.
    r = Tool("create " + P(root / "empty.bkp") + " " + P(root / "data" / "*.NOPE"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("no file matched"), std::string::npos) << r.out;
}

TEST_F(QvarchiveTest, RestoreModeAndFullPathOptions)
{
    const fs::path arc = root / "a.bkp";
    ASSERT_EQ(Tool("create -l max " + P(arc) + " " + P(root / "data" / "ENTITY.DAT")).code, 0);
    std::ofstream(root / "out" / "ENTITY.DAT") << "local";
    // nooverwrite keeps the existing file.
    auto r = Tool("restore -r nooverwrite " + P(arc) + " " + P(root / "out"));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(testsupport::ReadFile(root / "out" / "ENTITY.DAT"), "local");
    // -f keeps the folders.
    r = Tool("restore -f " + P(arc) + " " + P(root / "out"));
    EXPECT_EQ(r.code, 0) << r.out;
    const fs::path nested = root / "out" / Lower(fs::relative(root / "data", "/")) / "ENTITY.DAT";
    EXPECT_EQ(testsupport::ReadFile(nested), "[Geral]\r\nEntidades=1\r\n") << nested;
}

TEST_F(QvarchiveTest, IntoAFolderHoldingTheClientOnlyDataFilesAreRestoredUnlessAllAreAsked)
{
    // A portable copy: program and data in one folder. The archive holds a
    // reinit of its own beside the data files.
    const fs::path copy = root / "copy";
    fs::create_directories(copy);
    std::ofstream(root / "data" / "reinit", std::ios::binary) << "archived reinit";
    const fs::path arc = root / "p.bkp";
    ASSERT_EQ(Tool("create " + P(arc) + " " + P(root / "data" / "ENTITY.DAT") + " " + P(root / "data" / "reinit")).code,
              0);
    for (const char* program : {"quorvex", "reinit"}) {
        fs::remove_all(copy);
        fs::create_directories(copy);
        std::ofstream(copy / program, std::ios::binary) << "the program";
        auto r = Tool("restore " + P(arc) + " " + P(copy));
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_EQ(testsupport::ReadFile(copy / "ENTITY.DAT"), "[Geral]\r\nEntidades=1\r\n") << program;
        EXPECT_EQ(testsupport::ReadFile(copy / program), "the program") << program;
        if (std::string(program) == "quorvex") {
            EXPECT_FALSE(fs::exists(copy / "reinit"));
        }
        EXPECT_NE(r.out.find("skipped " + Lower(root / "data" / "reinit")), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("-a"), std::string::npos) << r.out;
    }
    // Asked for everything, it replaces the program file too; a folder
    // without the client takes everything unasked.
    auto r = Tool("restore -a " + P(arc) + " " + P(copy));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(testsupport::ReadFile(copy / "reinit"), "archived reinit");
    r = Tool("restore " + P(arc) + " " + P(root / "out"));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(testsupport::ReadFile(root / "out" / "reinit"), "archived reinit");
    EXPECT_EQ(r.out.find("skipped"), std::string::npos) << r.out;
}

// Bytes of an archive, little-endian integers and length-prefixed strings.
std::string Int32(std::int32_t v)
{
    std::string b;
    for (int i = 0; i < 4; ++i)
        b += static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
    return b;
}
std::string Str(const std::string& s)
{
    return Int32(static_cast<std::int32_t>(s.size())) + s;
}
std::string RawEntry(const std::string& name, const std::string& data)
{
    return Str(name) + Int32(0x5A210000) + std::string("EC2\0", 4) + Int32(-static_cast<std::int32_t>(data.size()))
           + data + Int32(0);
}

TEST_F(QvarchiveTest, ListShowsControlBytesEscapedAndRestoreRefusesThem)
{
    const std::string archive = Str("") + Int32(10) + Int32(2)
                                + RawEntry("/x/\x1b[2J\x1b]0;owned\x07"
                                           "evil.dat",
                                           "evil")
                                + RawEntry(std::string("/x/cut\0short.dat", 16), "cut") + Int32(0);
    std::ofstream(root / "names.bkp", std::ios::binary) << archive;
    auto r = Tool("list " + P(root / "names.bkp"));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x07'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/x/\\x1b[2J\\x1b]0;owned\\x07evil.dat"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/x/cut\\x00short.dat"), std::string::npos) << r.out;

    r = Tool("restore " + P(root / "names.bkp") + " " + P(root / "out"));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(root / "out"));
}

// Into a folder holding the client the data files go in all or nothing: a
// registry replaced beside a storage file the archive could not give would
// pair the entity with keys that are not its own.
TEST_F(QvarchiveTest, IntoAFolderHoldingTheClientADamagedArchiveReplacesNothing)
{
    const fs::path copy = root / "copy";
    fs::create_directories(copy);
    std::ofstream(copy / "quorvex", std::ios::binary) << "the program";
    std::ofstream(copy / "ENTITY.DAT", std::ios::binary) << "own registry";
    const std::string archive = Str("") + Int32(10) + Int32(2) + RawEntry("/x/entity.dat", "archived registry")
                                + Str("/x/storage.1.dat") + Int32(0x5A210000) + std::string("EC2\0", 4) + Int32(5)
                                + "abcde" + Int32(0) + Int32(0);
    std::ofstream(root / "damaged.bkp", std::ios::binary) << archive;
    const Result r = Tool("restore " + P(root / "damaged.bkp") + " " + P(copy));
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(testsupport::ReadFile(copy / "ENTITY.DAT"), "own registry");
    EXPECT_FALSE(fs::exists(copy / "STORAGE.1.DAT"));
}

TEST_F(QvarchiveTest, VolumesThatPointBackEndInsteadOfLooping)
{
    const std::string data(5000, 'x');
    std::ofstream(root / "loop.bkp", std::ios::binary) << Str("") + Int32(10000) + Int32(1) + Str("/x/storage.1.dat")
                                                              + Int32(0x5A210000) + std::string("EC2\0", 4)
                                                              + Int32(-5000) + data + Int32(0) + Str("NEXT:DISK002");
    // The second volume names itself as the next one.
    std::ofstream(root / "loop.002", std::ios::binary)
        << std::string("EC2\0", 4) + Int32(-5000) + data + Int32(0) + Str("NEXT:DISK002");
    for (const char* cmd : {"verify ", "restore "}) {
        const std::string folder = std::string(cmd) == "restore " ? " " + P(root / "out") : "";
        // A reader that loops is ended by timeout, which fails the exit code check.
        const Result r = Tool(std::string(cmd) + P(root / "loop.bkp") + folder, 20);
        EXPECT_EQ(r.code, 1) << cmd << r.out;
        EXPECT_NE(r.out.find("Cannot read file"), std::string::npos) << cmd << r.out;
    }
    EXPECT_TRUE(fs::is_empty(root / "out"));
}

} // namespace

namespace {

// A client running on a folder would write its memory over what the tool
// restored there: the tool takes the client's lock or changes nothing.
TEST_F(QvarchiveTest, AFolderHeldByARunningClientIsLeftAsItIs)
{
    const fs::path arc = root / "copia.bkp";
    ASSERT_EQ(Tool("create " + P(arc) + " " + P(root / "data" / "*.DAT")).code, 0);
    struct Case {
        const char* what;
        const char* programFile; // a portable copy holds the client
    };
    for (const Case& c : {Case{"data folder", nullptr}, Case{"portable copy", "quorvex"}}) {
        const fs::path folder = root / c.what;
        fs::create_directories(folder);
        if (c.programFile)
            std::ofstream(folder / c.programFile, std::ios::binary) << "the program";
        std::ofstream(folder / "ENTITY.DAT", std::ios::binary) << "own registry";
        std::ofstream(folder / "STORAGE.1.DAT", std::ios::binary) << "own keys";
        {
            InstanceLock client;
            ASSERT_EQ(client.Acquire(folder.string() + "/"), InstanceLock::Result::Acquired) << c.what;
            const Result r = Tool("restore " + P(arc) + " " + P(folder));
            EXPECT_EQ(r.code, 1) << c.what << r.out;
            EXPECT_NE(r.out.find("in use by a running client"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("nothing was restored"), std::string::npos) << r.out;
            EXPECT_EQ(testsupport::ReadFile(folder / "ENTITY.DAT"), "own registry") << c.what;
            EXPECT_EQ(testsupport::ReadFile(folder / "STORAGE.1.DAT"), "own keys") << c.what;
        }
        // Once the client has ended, the same restore goes in.
        const Result r = Tool("restore " + P(arc) + " " + P(folder));
        EXPECT_EQ(r.code, 0) << c.what << r.out;
        EXPECT_EQ(testsupport::ReadFile(folder / "STORAGE.1.DAT"), big) << c.what;
    }
}

} // namespace
