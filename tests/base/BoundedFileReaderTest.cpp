#include "base/BoundedFileReader.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using BoundedFileReader::Status;

namespace {

struct Case {
    const char* What;
    std::string Path;
    std::size_t Bound;
    Status Expected;
    std::string Content;
};

} // namespace

// Every outcome once: what the callers (data files, key files, responses,
// imports, documents, the mounts table) tell apart.
TEST(BoundedFileReader, ReadsRegularFilesWithinTheBoundAndRefusesEverythingElse)
{
    testsupport::TempFolder dir;
    ASSERT_TRUE(dir.Valid());
    dir.Write("ten", "0123456789");
    dir.Write("empty", "");
    std::string nuls("a\0b\0", 4);
    dir.Write("nuls", nuls);
    ASSERT_EQ(0, ::mkfifo(dir.File("pipe").c_str(), 0600));
    const Case cases[] = {
        {"exactly at the bound", dir.File("ten"), 10, Status::Read, "0123456789"},
        {"one byte over", dir.File("ten"), 9, Status::TooLarge, ""},
        {"empty", dir.File("empty"), 10, Status::Read, ""},
        {"bytes kept as they are", dir.File("nuls"), 10, Status::Read, nuls},
        {"not there", dir.File("absent"), 10, Status::Missing, ""},
        {"under a file, not a folder", dir.File("ten") + "/x", 10, Status::Missing, ""},
        {"a folder", dir.Path(), 10, Status::NotRegular, ""},
        {"a pipe: the open does not wait", dir.File("pipe"), 10, Status::NotRegular, ""},
        {"a device", "/dev/zero", 10, Status::NotRegular, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::string content = "old";
        const BoundedFileReader::Result result = BoundedFileReader::Read(c.Path, c.Bound, content);
        EXPECT_EQ(c.Expected, result.Outcome);
        EXPECT_EQ(c.Content, content);
    }
}

// A file that says it is empty and is not (the kernel's tables), as a file
// that grows while it is read: read past its stated size, still bounded.
TEST(BoundedFileReader, FollowsAFileBeyondItsStatedSizeUpToTheBound)
{
    struct stat st {};
    ASSERT_EQ(0, ::stat("/proc/self/status", &st));
    ASSERT_EQ(0, st.st_size);
    std::string content;
    EXPECT_EQ(Status::Read, BoundedFileReader::Read("/proc/self/status", 1 << 20, content).Outcome);
    EXPECT_NE(std::string::npos, content.find("Name:"));
    EXPECT_EQ(Status::TooLarge, BoundedFileReader::Read("/proc/self/status", 16, content).Outcome);
    EXPECT_TRUE(content.empty());
}
