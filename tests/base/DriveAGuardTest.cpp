// Which folders may stand for drive A, whose files the steps delete: never
// the data, program, home or a system folder, nor one holding any of them,
// however it is spelled or linked.
#include "base/DriveAGuard.h"
#include "base/ProgramPaths.h"
#include "base/Texts.h"
#include "support/ScopedEnvironment.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(DriveAGuard, FoldersHoldingWhatTheUserKeepsAreRefusedWithTheReason)
{
    testsupport::TempFolder root("quorvex-drivea");
    ASSERT_TRUE(root.Valid());
    const std::string r = root.Path();
    for (const char* folder : {"data/A", "program", "home/user/stick", "stick"})
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
        // What may be the medium: the default folder inside the data folder,
        // a folder of the user's own, a stick, scratch folders.
        {r + "data/A", nullptr},
        {r + "home/user/stick", nullptr},
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
