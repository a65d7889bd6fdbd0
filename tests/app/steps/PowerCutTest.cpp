// A power cut at every step of every write the client makes to keep the
// user's data: a data file's save, a key file's save, the exit's saves of
// many files, a restore (all or nothing, and file by file), a key moved to
// its medium and a storage file removed. Each runs in a child process on a
// disk that keeps only what was flushed (tests/support/PowerCutDisk.h), the
// power cut before its first change, then before its second, and so on,
// until it ends before the cut; each way a folder's names may last after a
// cut is tried. After each cut the client's start runs over what is left
// (the journal of a restore finished, stale temporaries and leftover key
// files removed, the registry loaded), and every data file must be its old
// version or its new one, the restore's all old or all new, every key there.
#include "app/steps/DataFolderRecovery.h"
#include "app/steps/TEntitySession.h"
#include "backup/TBackupFile.h"
#include "base/SafeReplace.h"
#include "store/AtomicFileWriter.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"
#include "support/PowerCutDisk.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::CutResult;
using testsupport::PowerCutDisk;
using Files = std::map<std::string, std::string>; // name -> bytes

std::string Guid(int Entity, int Certificate)
{
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-1111-2222-3333-%012X}", Entity, Certificate);
    return buffer;
}

// Key hex that tells the version and the certificate apart.
std::string KeyHex(char Version, int Entity, int Certificate)
{
    std::string hex;
    for (int i = 0; i < 600; ++i)
        hex += "0123456789ABCDEF"[(i * 7 + Entity * 3 + Certificate + Version) % 16];
    return std::string(1, Version) + hex;
}

// The data files of a folder Dir with Count entities of two certificates
// each, as the program writes them; Version marks every key.
Files DataFiles(const std::string& Dir, int Count, char Version)
{
    Files files;
    std::string registry = "[General]\r\nCount=" + std::to_string(Count) + "\r\nCountAll=" + std::to_string(Count)
                           + "\r\nActiveIndex=1\r\n\r\n";
    for (int n = 1; n <= Count; ++n) {
        const std::string storage = "STORAGE." + std::to_string(n) + ".DAT";
        registry += "[Entity" + std::to_string(n) + "]\r\nfilename=" + Dir + storage
                    + "\r\nProfile=01\r\nTipo_Inscricao=01\r\nInscricao=1122233300018" + std::to_string(n)
                    + "\r\nRazao=EMPRESA " + std::string(1, Version) + std::to_string(n)
                    + "\r\nIndex=" + std::to_string(n) + "\r\n\r\n";
        std::string text = "[General]\r\nRequest=1\r\nMasterKey=" + Guid(n, 1) + "\r\nKeys=" + Guid(n, 2)
                           + "\r\n\r\n[Fingerprint]\r\nValue=" + std::string(40, Version) + "\r\n\r\n";
        for (int c = 1; c <= 2; ++c)
            text += "[" + Guid(n, c) + "]\r\nName=Certificado " + std::to_string(c)
                    + "\r\nPublicKey=00\r\nInfo=00\r\nKeyFile=" + KeyHex(Version, n, c) + "\r\nSigned=0\r\n\r\n";
        files[storage] = text;
    }
    files["ENTITY.DAT"] = registry;
    return files;
}

std::string ReadBytes(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& Path, const std::string& Bytes)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

// Every file of a folder, hidden ones too.
Files FilesIn(const std::string& Dir)
{
    Files files;
    for (const auto& entry : fs::directory_iterator(Dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}

// The folder holds exactly Content.
void Put(const std::string& Dir, const Files& Content)
{
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    for (const auto& [name, bytes] : Content)
        WriteBytes(Dir + name, bytes);
}

// What the client runs at start before it loads the registry.
void Restart(const std::string& DataDir)
{
    EXPECT_EQ(RecoverDataFolder(DataDir), 0);
}

// The registry loads as the client loads it, with every entity and key of
// Version.
void ExpectLoads(const std::string& DataDir, int Count, char Version)
{
    try {
        TEntitySession session(DataDir);
        EXPECT_EQ(session.Count(), Count);
        for (int n = 1; n <= session.Count(); ++n) {
            TRequestFile* storage = session.Registry().Storage(n);
            ASSERT_NE(storage, nullptr);
            for (int c = 1; c <= 2; ++c)
                EXPECT_EQ(storage->ReadString(Guid(n, c), "KeyFile", ""), KeyHex(Version, n, c))
                    << "entity " << n << ", certificate " << c;
        }
    } catch (const std::exception& e) {
        ADD_FAILURE() << "the registry does not load: " << e.what();
    }
}

std::string Named(PowerCutDisk::Names How)
{
    return How == PowerCutDisk::Names::AsFlushed ? "names as last flushed" : "every change of names kept";
}

// Cuts the power before every step of Operation in turn, each way names
// may last: Reset puts the folders as they were before each run, Check
// looks at what the restart left (Ended: the operation ended before the
// cut). Returns how many cuts were tried.
int CutEverywhere(const std::string& What, const std::vector<std::string>& Folders, const std::function<void()>& Reset,
                  const std::function<void(PowerCutDisk&)>& Operation, const std::function<void(bool Ended)>& Check)
{
    int tried = 0;
    for (const auto how : {PowerCutDisk::Names::AsFlushed, PowerCutDisk::Names::AllKept}) {
        for (int step = 1;; ++step) {
            SCOPED_TRACE(What + ", " + Named(how) + ", cut before step " + std::to_string(step));
            Reset();
            // No thread of this process holds a lock the child takes.
            AtomicFileWriter::WaitForReplacedVersions();
            std::fflush(nullptr);
            const CutResult result = testsupport::RunCut(Folders, step, how, Operation);
            if (result == CutResult::Failed) {
                ADD_FAILURE() << "the child process died";
                break;
            }
            ++tried;
            Check(result == CutResult::Ended);
            if (result == CutResult::Ended || ::testing::Test::HasFailure())
                break;
        }
    }
    std::cout << "[ POWERCUT ] " << What << ": " << tried << " cut points tried\n";
    ::testing::Test::RecordProperty("cut_points", tried);
    return tried;
}

class PowerCut : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Tmp.Valid());
        Data = Tmp.Path() + "data/";
        Medium = Tmp.Path() + "medium/";
        Work = Tmp.Path() + "work/";
        Old = DataFiles(Data, 3, 'A');
        New = DataFiles(Data, 4, 'B');
    }

    // Every data file its old version or its new one, all from one side
    // when Together (the registry then loads with the keys of that side:
    // BeforeKeys or AfterKeys); nothing else left beside them.
    void ExpectOldOrNew(const Files& Before, const Files& After, bool Together, bool Ended, char BeforeKeys = 'A',
                        char AfterKeys = 'B')
    {
        const Files now = FilesIn(Data);
        if (Together) {
            const bool old = now == Before, fresh = now == After;
            EXPECT_TRUE(old || fresh) << Describe(now, Before, After);
            EXPECT_TRUE(!Ended || fresh) << "ended, yet not all new";
            if (old)
                ExpectLoads(Data, Count(Before), BeforeKeys);
            else if (fresh)
                ExpectLoads(Data, Count(After), AfterKeys);
            return;
        }
        for (const auto& [name, bytes] : now) {
            const auto before = Before.find(name), after = After.find(name);
            const bool isOld = before != Before.end() && before->second == bytes;
            const bool isNew = after != After.end() && after->second == bytes;
            EXPECT_TRUE(isOld || isNew) << name << " is neither its old version nor its new one (" << bytes.size()
                                        << " bytes)";
            EXPECT_TRUE(!Ended || isNew) << name << ": ended, yet not new";
        }
        // A file that both versions hold is never lost.
        for (const auto& [name, bytes] : After) {
            if (Before.count(name) || Ended) {
                EXPECT_TRUE(now.count(name)) << name << " is gone";
            }
        }
    }

    static int Count(const Files& Version)
    {
        int storages = 0;
        for (const auto& entry : Version)
            storages += entry.first.rfind("STORAGE.", 0) == 0;
        return storages;
    }

    static std::string Describe(const Files& Now, const Files& Before, const Files& After)
    {
        std::string text = "the folder mixes versions or holds something else:";
        for (const auto& [name, bytes] : Now) {
            const auto b = Before.find(name), a = After.find(name);
            text += " " + name + "="
                    + (b != Before.end() && b->second == bytes  ? "old"
                       : a != After.end() && a->second == bytes ? "new"
                                                                : "other(" + std::to_string(bytes.size()) + ")");
        }
        return text;
    }

    testsupport::TempFolder Tmp{"quorvex-powercut"};
    std::string Data, Medium, Work;
    Files Old, New;
};

TEST_F(PowerCut, ADataFileSaveLeavesTheOldVersionOrTheNew)
{
    // Large enough to be written in two halves.
    Files after = Old;
    after["STORAGE.2.DAT"] += "[Pad]\r\nX=" + std::string(300000, 'x') + "\r\n\r\n";
    CutEverywhere(
        "a data file's save", {Data}, [&] { Put(Data, Old); },
        [&](PowerCutDisk& disk) {
            AtomicFileWriter writer(disk);
            writer.WriteFile(Data + "STORAGE.2.DAT", after["STORAGE.2.DAT"]);
        },
        [&](bool ended) {
            Restart(Data);
            ExpectOldOrNew(Old, after, true, ended, 'A', 'A');
        });
}

TEST_F(PowerCut, AKeyFileSaveThatWipesTheOldVersionLeavesTheOldOrTheNew)
{
    const std::string name = Guid(1, 1) + ".PRI";
    const std::string before = "QVXKEY old " + KeyHex('A', 1, 1), after = "QVXKEY new " + KeyHex('B', 1, 1);
    CutEverywhere(
        "a key file's save", {Medium},
        [&] {
            Put(Medium, {{name, before}});
        },
        [&](PowerCutDisk& disk) {
            SafeReplace::Options options;
            options.NewFileMode = 0600;
            options.WipeOldVersion = true;
            options.ReplaceLink = true;
            SafeReplace::ReplaceFile(Medium + name, after.data(), after.size(), options, disk);
        },
        [&](bool ended) {
            SafeReplace::RemoveStaleTemporaries(Medium);
            const Files now = FilesIn(Medium);
            ASSERT_EQ(now.size(), 1u);
            ASSERT_EQ(now.begin()->first, name);
            EXPECT_TRUE(now.begin()->second == before || now.begin()->second == after);
            EXPECT_TRUE(!ended || now.begin()->second == after);
        });
}

TEST_F(PowerCut, TheExitsSavesLeaveEachFileOldOrNew)
{
    // The exit stamps every storage file and saves the registry.
    const auto exitEdit = [this](std::vector<std::unique_ptr<TRequestFile>>& Storages, TRequestFile& Registry) {
        for (int n = 1; n <= 3; ++n) {
            Storages.push_back(std::make_unique<TRequestFile>(Data + "STORAGE." + std::to_string(n) + ".DAT"));
            Storages.back()->WriteString("Fingerprint", "Value", std::string(40, 'F') + std::to_string(n));
        }
        Registry.WriteInteger("General", "ActiveIndex", 2);
    };
    Put(Data, Old);
    Files after;
    {
        std::vector<std::unique_ptr<TRequestFile>> storages;
        TRequestFile registry(Data + "ENTITY.DAT");
        exitEdit(storages, registry);
        for (const auto& storage : storages)
            after[fs::path(storage->FileName()).filename().string()] = storage->Text();
        after["ENTITY.DAT"] = registry.Text();
    }
    CutEverywhere(
        "the exit's saves", {Data}, [&] { Put(Data, Old); },
        [&](PowerCutDisk& disk) {
            std::vector<std::unique_ptr<TRequestFile>> storages;
            TRequestFile registry(Data + "ENTITY.DAT");
            exitEdit(storages, registry);
            std::vector<TRequestFile*> files;
            for (const auto& storage : storages)
                files.push_back(storage.get());
            TRequestFile::UpdateFiles(files, {}, disk);
            registry.SetWriter(std::make_shared<AtomicFileWriter>(disk));
            registry.UpdateFile();
        },
        [&](bool ended) {
            Restart(Data);
            ExpectOldOrNew(Old, after, false, ended);
            ExpectLoads(Data, 3, 'A');
        });
}

class PowerCutRestore : public PowerCut {
protected:
    void SetUp() override
    {
        PowerCut::SetUp();
        // The archive of the new version, as the backup dialog makes it.
        const std::string source = Tmp.Path() + "source/";
        Put(source, New);
        Archive = Tmp.Path() + "archive/copia.bkp";
        fs::create_directories(Tmp.Path() + "archive");
        std::vector<std::string> files;
        for (const auto& entry : New)
            files.push_back(source + entry.first);
        TBackupFile backup;
        ASSERT_TRUE(backup.Backup(files, Archive));
    }

    // A restore of the archive into the data folder on Disk, as the backup
    // dialog runs it (all or nothing) or one file at a time.
    void Restore(FileSystem& Disk, bool AllOrNothing) const
    {
        TBackupFile restore(Disk);
        restore.RestoreMode = rmAll;
        restore.RestoreFullPath = false;
        restore.WipeReplacedFiles = true;
        restore.RestoreAllOrNothing = AllOrNothing;
        restore.Restore(Archive, Data);
    }

    std::string Archive;
};

TEST_F(PowerCutRestore, ARestoreOfAllOrNothingLeavesAllOldOrAllNew)
{
    CutEverywhere(
        "a restore of all or nothing", {Data}, [&] { Put(Data, Old); },
        [&](PowerCutDisk& disk) { Restore(disk, true); },
        [&](bool ended) {
            Restart(Data);
            ExpectOldOrNew(Old, New, true, ended);
        });
}

TEST_F(PowerCutRestore, OnAFileSystemWithoutHardLinksTheOldVersionsAreKeptAsCopies)
{
    CutEverywhere(
        "a restore of all or nothing without hard links", {Data}, [&] { Put(Data, Old); },
        [&](PowerCutDisk& disk) {
            disk.NoHardLinks = true;
            Restore(disk, true);
        },
        [&](bool ended) {
            Restart(Data);
            ExpectOldOrNew(Old, New, true, ended);
        });
}

// The second file's rename fails: the first goes back, and a cut at any
// step on the way back leaves all old or all new too.
TEST_F(PowerCutRestore, ARestoreWhoseRenameFailsPartWayPutsEverythingBack)
{
    for (const bool hardLinks : {true, false}) {
        CutEverywhere(
            hardLinks ? "a restore whose second rename fails"
                      : "a restore whose second rename fails, without hard links",
            {Data}, [&] { Put(Data, Old); },
            [&](PowerCutDisk& disk) {
                disk.NoHardLinks = !hardLinks;
                disk.FailRename = 3; // the journal's own rename is the first
                Restore(disk, true);
            },
            [&](bool ended) {
                Restart(Data);
                const Files now = FilesIn(Data);
                EXPECT_TRUE(now == Old || (!ended && now == New)) << Describe(now, Old, New);
                if (now == Old)
                    ExpectLoads(Data, 3, 'A');
            });
    }
}

TEST_F(PowerCutRestore, ARestoreFileByFileLeavesEachFileOldOrNew)
{
    CutEverywhere(
        "a restore file by file", {Data}, [&] { Put(Data, Old); }, [&](PowerCutDisk& disk) { Restore(disk, false); },
        [&](bool ended) {
            Restart(Data);
            ExpectOldOrNew(Old, New, false, ended);
        });
}

// A key file put on its medium: under its new name whole, or still under
// its old one, never half.
TEST_F(PowerCut, AKeyMovedToItsMediumIsWholeInOnePlace)
{
    const std::string key = "QVXKEY " + KeyHex('A', 1, 1);
    const std::string name = Guid(1, 1) + ".PRI";
    for (const bool exclusiveRename : {true, false}) {
        CutEverywhere(
            exclusiveRename ? "a key moved to its medium" : "a key copied to its medium", {Work, Medium},
            [&] {
                Put(Work, {{"extracted.PRI", key}});
                Put(Medium, {});
            },
            [&](PowerCutDisk& disk) {
                disk.NoExclusiveRename = !exclusiveRename;
                SafeReplace::MoveFile(Work + "extracted.PRI", Medium + name, false, disk);
            },
            [&](bool ended) {
                SafeReplace::RemoveStaleTemporaries(Medium);
                const Files medium = FilesIn(Medium), work = FilesIn(Work);
                const bool placed = medium.size() == 1 && medium.count(name) && medium.at(name) == key;
                const bool stayed = work.size() == 1 && work.count("extracted.PRI") && work.at("extracted.PRI") == key;
                EXPECT_TRUE(medium.empty() || placed) << "the medium holds a part of the key";
                EXPECT_TRUE(placed || stayed) << "the key is in neither place";
                EXPECT_TRUE(!ended || placed);
            });
    }
}

TEST_F(PowerCut, AStorageFileRemovedIsWholeOrGone)
{
    Files after = Old;
    after.erase("STORAGE.3.DAT");
    CutEverywhere(
        "a storage file removed", {Data}, [&] { Put(Data, Old); },
        [&](PowerCutDisk& disk) { SafeReplace::WipeAndRemove(Data + "STORAGE.3.DAT", disk); },
        [&](bool ended) {
            Restart(Data);
            const Files now = FilesIn(Data);
            EXPECT_TRUE(now == Old || now == after) << Describe(now, Old, after);
            EXPECT_TRUE(!ended || now == after);
        });
}

} // namespace
