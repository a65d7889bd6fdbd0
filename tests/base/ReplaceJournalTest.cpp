// The journal of many files replaced together: a journal found at start is
// finished forward or back as it says, one cut short is removed with
// nothing else changed, and the temporaries it needs outlive the clean-up
// while it stands.
#include "base/ReplaceJournal.h"
#include "base/SafeReplace.h"
#include "support/TempFolder.h"
#include "support/ProcessFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> Folder(const testsupport::TempFolder& Dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(Dir.Path()))
        files[entry.path().filename().string()] = Dir.Read(entry.path().filename().string());
    return files;
}

std::string Name(const std::string& File, pid_t Pid, const char* Kind)
{
    return "." + File + "." + std::to_string(Pid) + ".0123456789abcdef." + Kind;
}

} // namespace

// Killed after the first of three renames: the start renames the other two
// and lets the old versions go, wiped, and the journal last.
TEST(ReplaceJournal, AJournalFoundIsFinishedForward)
{
    testsupport::TempFolder dir("quorvex-journal");
    const pid_t dead = testsupport::DeadPid();
    // A name with a tab and a percent sign goes through the journal too.
    const std::vector<std::string> targets = {"ENTITY.DAT", "STORAGE.1.DAT", "odd\t%name"};
    std::vector<ReplaceJournal::Entry> entries;
    for (const std::string& target : targets) {
        const std::string staged = Name(target, dead, "tmp"), old = Name(target, dead, "old");
        dir.Write(target, "old " + target);
        fs::create_hard_link(dir.File(target), dir.File(old));
        dir.Write(staged, "new " + target);
        entries.push_back({dir.File(staged), dir.File(target), dir.File(old)});
    }
    ASSERT_EQ(ReplaceJournal::Write(dir.Path(), entries, ReplaceJournal::Direction::Forward, true, FileSystem::Real()),
              0);
    fs::rename(entries[0].Staged, entries[0].Target);
    const int oldFd = ::open(entries[1].Old.c_str(), O_RDONLY);
    ASSERT_GE(oldFd, 0);

    // The clean-up keeps every temporary while the journal stands.
    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir.Path()), 0);
    EXPECT_EQ(ReplaceJournal::Recover(dir.Path()), 0);
    std::map<std::string, std::string> expected;
    for (const std::string& target : targets)
        expected[target] = "new " + target;
    EXPECT_EQ(Folder(dir), expected);
    char byte = 'x';
    EXPECT_EQ(::pread(oldFd, &byte, 1, 0), 1);
    EXPECT_EQ(byte, '\0') << "the old version is wiped";
    ::close(oldFd);
    // Once more: nothing left to do.
    EXPECT_EQ(ReplaceJournal::Recover(dir.Path()), 0);
    EXPECT_EQ(Folder(dir), expected);
}

// Turned back after a failed rename, and killed on the way: the start puts
// every old version back and removes what was new.
TEST(ReplaceJournal, AJournalTurnedBackIsFinishedBack)
{
    testsupport::TempFolder dir("quorvex-journal");
    const pid_t dead = testsupport::DeadPid();
    std::vector<ReplaceJournal::Entry> entries;
    // ENTITY.DAT renamed in already, STORAGE.1.DAT not yet, STORAGE.2.DAT
    // new and renamed in.
    dir.Write("ENTITY.DAT", "old registry");
    fs::create_hard_link(dir.File("ENTITY.DAT"), dir.File(Name("ENTITY.DAT", dead, "old")));
    dir.Write("ENTITY.DAT.new", "new registry");
    fs::rename(dir.File("ENTITY.DAT.new"), dir.File("ENTITY.DAT"));
    entries.push_back(
        {dir.File(Name("ENTITY.DAT", dead, "tmp")), dir.File("ENTITY.DAT"), dir.File(Name("ENTITY.DAT", dead, "old"))});
    dir.Write("STORAGE.1.DAT", "old storage");
    fs::create_hard_link(dir.File("STORAGE.1.DAT"), dir.File(Name("STORAGE.1.DAT", dead, "old")));
    dir.Write(Name("STORAGE.1.DAT", dead, "tmp"), "new storage");
    entries.push_back({dir.File(Name("STORAGE.1.DAT", dead, "tmp")), dir.File("STORAGE.1.DAT"),
                       dir.File(Name("STORAGE.1.DAT", dead, "old"))});
    dir.Write("STORAGE.2.DAT", "new storage 2");
    entries.push_back({dir.File(Name("STORAGE.2.DAT", dead, "tmp")), dir.File("STORAGE.2.DAT"), ""});
    ASSERT_EQ(ReplaceJournal::Write(dir.Path(), entries, ReplaceJournal::Direction::Back, false, FileSystem::Real()),
              0);

    EXPECT_EQ(ReplaceJournal::Recover(dir.Path()), 0);
    const std::map<std::string, std::string> expected = {{"ENTITY.DAT", "old registry"},
                                                         {"STORAGE.1.DAT", "old storage"}};
    EXPECT_EQ(Folder(dir), expected);
}

// A journal cut short was being written before any rename: it goes, and
// nothing else changes here (the clean-up then removes the temporaries).
TEST(ReplaceJournal, AJournalCutShortIsRemovedAndNothingElseChanges)
{
    testsupport::TempFolder dir("quorvex-journal");
    const pid_t dead = testsupport::DeadPid();
    dir.Write("ENTITY.DAT", "old registry");
    dir.Write(Name("ENTITY.DAT", dead, "tmp"), "new registry");
    for (const std::string& cut :
         {std::string("quorvex replace journal 1\nforward\nwipe\n"), std::string("quorvex replace journal 1\nforwa"),
          "quorvex replace journal 1\nforward\nwipe\n" + Name("ENTITY.DAT", dead, "tmp") + "\tENTITY.DAT\t\nend 2\n",
          std::string()}) {
        SCOPED_TRACE(cut);
        dir.Write(".quorvex.journal", cut);
        EXPECT_EQ(ReplaceJournal::Recover(dir.Path()), 0);
        EXPECT_FALSE(fs::exists(dir.File(".quorvex.journal")));
        EXPECT_EQ(dir.Read("ENTITY.DAT"), "old registry");
    }
    EXPECT_EQ(SafeReplace::RemoveStaleTemporaries(dir.Path()), 1);
    EXPECT_EQ(Folder(dir), (std::map<std::string, std::string>{{"ENTITY.DAT", "old registry"}}));
    // No journal: nothing to do.
    EXPECT_EQ(ReplaceJournal::Recover(dir.Path()), 0);
}
