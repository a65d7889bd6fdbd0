// Which folders may stand for drive A, whose files the steps delete: never
// the data, program, home or a system folder, nor one holding any of them,
// however it is spelled or linked.
#include "base/DriveAGuard.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "support/ScopedEnvironment.h"
#include "support/ScopedMount.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(DriveAGuard, FoldersHoldingWhatTheUserKeepsAreRefusedWithTheReason)
{
    testsupport::TempFolder root("quorvex-drivea");
    ASSERT_TRUE(root.Valid());
    const std::string r = root.Path();
    for (const char* folder : {"data/A", "program", "home/user/stick", "home/user/.ssh", "stick"})
        fs::create_directories(r + folder);
    fs::create_directory_symlink(r + "data", r + "link-to-data");
    fs::create_directory_symlink(r + "home/user", r + "link-to-home");
    const testsupport::ScopedEnvironment home("HOME", r + "home/user");
    const ProgramPaths paths(r + "data", r + "program");

    struct Case {
        std::string folder;
        const char* reason; // null: accepted
    } cases[] = {
        {r + "data", Texts::DriveAHoldsData},
        {r + "data/", Texts::DriveAHoldsData},
        {r + "data/A/..", Texts::DriveAHoldsData},
        {r + "link-to-data", Texts::DriveAHoldsData},
        {r, Texts::DriveAHoldsData},
        {r + "program", Texts::DriveAHoldsProgram},
        {r + "home/user", Texts::DriveAHoldsHome},
        {r + "home", Texts::DriveAHoldsHome},
        {r + "link-to-home", Texts::DriveAHoldsHome},
        {"/", Texts::DriveAIsSystem},
        {"/usr", Texts::DriveAIsSystem},
        {"/usr/share/doc", Texts::DriveAIsSystem},
        {"/etc", Texts::DriveAIsSystem},
        {"/tmp", Texts::DriveAIsSystem},
        {"/tmp/../home", Texts::DriveAIsSystem},
        {"/proc/self", Texts::DriveAIsSystem},
        {"/media", Texts::DriveAIsSystem},
        {"/dev", Texts::DriveAIsSystem},
        {"/dev/shm", Texts::DriveAIsSystem},
        {"/var/lib", Texts::DriveAIsSystem},
        {"/var", Texts::DriveAIsSystem},
        {"/boot", Texts::DriveAIsSystem},
        {"/sys/kernel", Texts::DriveAIsSystem},
        {"/dev/pts", Texts::DriveAIsSystem},
        // Each user's runtime folder, made or not: sockets and keyrings.
        {"/run/user", Texts::DriveAIsSystem},
        {"/run/user/1000", Texts::DriveAIsSystem},
        {"/run/user/1000/quorvex", Texts::DriveAIsSystem},
        // What may be the medium: the default folder inside the data folder,
        // a folder of the user's own, a stick, scratch folders.
        {r + "data/A", nullptr},
        {r + "home/user/stick", nullptr},
        // A folder inside the home is the user's own: clearing takes only the
        // client's kinds of file from it, so it may stand for the drive.
        {r + "home/user/.ssh", nullptr},
        {"/var/tmp/quorvex", nullptr},
        {r + "stick", nullptr},
        {r + "not-made-yet", nullptr},
        {"/media/ana/PEN", nullptr},
        {"/run/media/ana/PEN", nullptr},
        {"/dev/shm/quorvex", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        const std::string refusal = DriveAGuard::Refusal(paths, c.folder);
        if (!c.reason) {
            EXPECT_EQ(refusal, "") << c.folder;
            continue;
        }
        EXPECT_EQ(refusal, std::string(Texts::DriveARefused1) + c.folder + Texts::DriveARefused2 + c.reason)
            << c.folder;
    }
}

// Compared by identity, not by spelling: a bind mount of the data folder, or
// of a folder that holds it, is the data folder; a bind mount of a folder
// of the user's own is not. The same folder judged through a descriptor
// opened before a link is swapped in under its name stays itself.
TEST(DriveAGuard, ABindMountOrADescriptorIsJudgedByWhatItIs)
{
    testsupport::TempFolder root("quorvex-drivea-bind");
    ASSERT_TRUE(root.Valid());
    const std::string r = root.Path();
    for (const char* folder : {"portable/data", "program", "home", "stick"})
        fs::create_directories(r + folder);
    const testsupport::ScopedEnvironment home("HOME", r + "home");
    const ProgramPaths paths(r + "portable/data", r + "program");

    {
        const int fd = ::open((r + "stick").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        fs::rename(r + "stick", r + "stick-moved");
        fs::create_directory_symlink(r + "portable/data", r + "stick");
        EXPECT_EQ(DriveAGuard::Refusal(paths, r + "stick-moved", fd), "") << "the folder opened, not the link";
        EXPECT_NE(DriveAGuard::Refusal(paths, r + "stick"), "") << "the name now leads to the data folder";
        ::close(fd);
    }

    struct Case {
        const char* what;
        std::string source;
        const char* reason;
    } cases[] = {
        {"the data folder", r + "portable/data", Texts::DriveAHoldsData},
        {"the folder that holds the data folder", r + "portable", Texts::DriveAHoldsData},
        {"the program folder", r + "program", Texts::DriveAHoldsProgram},
        {"the home folder", r + "home", Texts::DriveAHoldsHome},
        {"a stick of the user's", r + "stick-moved", nullptr},
    };
    for (const Case& c : cases) {
        const std::string point = r + "bound";
        testsupport::ScopedMount bound(testsupport::ScopedMount::Type::Bind, c.source, point);
        if (!bound.Made())
            GTEST_SKIP() << bound.Why();
        const std::string refusal = DriveAGuard::Refusal(paths, point);
        if (!c.reason)
            EXPECT_EQ(refusal, "") << c.what;
        else
            EXPECT_EQ(refusal, std::string(Texts::DriveARefused1) + point + Texts::DriveARefused2 + c.reason) << c.what;
    }
}
