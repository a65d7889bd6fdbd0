#include "crypto/Wipe.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class Wipe : public ::testing::Test {
protected:
    void SetUp() override { Dir = Tmp.Path(); }

    std::string MakeFile(const std::string& name, const std::string& content)
    {
        const auto path = (Dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    testsupport::TempFolder Tmp{"wipe"};
    fs::path Dir;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(Wipe, OverwriteLeavesOneByteValueOverTheWholeFile)
{
    const std::string content(700, 'k');
    const auto path = MakeFile("key.PRI", content);
    {
        TFlushedFileStream stream(path);
        stream.Seek(123);
        OverwriteWithByte(stream, 0xA5);
        EXPECT_EQ(stream.Position(), 700);
        stream.Flush();
    }
    EXPECT_EQ(ReadAll(path), std::string(700, '\xA5'));
}

TEST_F(Wipe, WipeFileDeletesAndDrawsValuesBelow255)
{
    // Each wipe draws one value; over many files none may be 255. The byte
    // written is only visible through a hard link that survives the delete.
    std::set<int> seen;
    for (int i = 0; i < 150; ++i) {
        const auto path = MakeFile("k" + std::to_string(i), std::string(40, '\x11'));
        const auto link = (Dir / ("link" + std::to_string(i))).string();
        fs::create_hard_link(path, link);
        WipeFile(path);
        EXPECT_FALSE(fs::exists(path));
        const std::string after = ReadAll(link);
        ASSERT_EQ(after.size(), 40u);
        EXPECT_EQ(after, std::string(40, after[0])) << "one value over the whole file";
        seen.insert(static_cast<unsigned char>(after[0]));
        fs::remove(link);
    }
    EXPECT_EQ(seen.count(255), 0u);
    EXPECT_GT(seen.size(), 40u) << "the value is drawn afresh for each file";
}

TEST_F(Wipe, EmptyFileIsDeleted)
{
    const auto path = MakeFile("empty.PRI", "");
    WipeFile(path);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(Wipe, MissingFileRaisesTheOpenFailure)
{
    const auto path = (Dir / "absent.PRI").string();
    try {
        WipeFile(path);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.PRI"), std::string::npos) << e.what();
    }
}

TEST_F(Wipe, FileIsDeletedEvenWhenOverwritingFails)
{
    // A file-size limit of 0 makes every write fail (EFBIG) without touching
    // the disk; the key file must still be gone afterwards.
    const auto path = MakeFile("secret.PRI", "PRIVATE KEY BYTES");
    const auto link = (Dir / "witness").string();
    fs::create_hard_link(path, link);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit none{0, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
    std::string message;
    std::string className;
    try {
        WipeFile(path);
    } catch (const EWipeError& e) {
        message = e.what();
        className = e.ClassName();
    } catch (...) {
        message = "other exception";
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(className, "EWipeError");
    EXPECT_EQ(message, "EWriteError: Stream write error");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(ReadAll(link), "PRIVATE KEY BYTES") << "nothing was written";
    // A wipe failure is a write failure of the stream layer.
    EXPECT_TRUE((std::is_base_of_v<EWriteError, EWipeError>));
    EXPECT_TRUE((std::is_base_of_v<EWriteError, EFlushError>));
}

TEST_F(Wipe, FlushOfAClosedStreamReportsTheSystemError)
{
    const auto path = MakeFile("f", "x");
    TFlushedFileStream stream(path);
    stream.Close();
    try {
        stream.Flush();
        FAIL() << "no exception";
    } catch (const EFlushError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("A ", 0), 0u);
        EXPECT_NE(message.find(" Windows error occurred."), std::string::npos) << message;
    }
}

TEST(ZeroBuffer, ClearsExactlyCountBytes)
{
    char block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ZeroBuffer(block, 5);
    EXPECT_EQ(std::string(block, 8), std::string("\0\0\0\0\0\6\7\x08", 8));
    ZeroBuffer(nullptr, 5);
    ZeroBuffer(block, 0);
    EXPECT_EQ(block[5], 6);
}

} // namespace
