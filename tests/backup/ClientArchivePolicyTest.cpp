// The client's archive policy without a window: what a backup takes, when
// it is cut into diskette volumes, and a restore into the client's folder
// that replaces only its data files.
#include "backup/ClientArchivePolicy.h"
#include "backup/TBackupFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(ClientArchivePolicy, ABackupTakesTheRegistryThenEveryStorageFileByName)
{
    testsupport::TempFolder tmp{"qv-policy"};
    ASSERT_TRUE(tmp.Valid());
    const std::string dir = tmp.Path();
    for (const char* name : {"STORAGE.2.DAT", "STORAGE.10.DAT", "storage.3.dat", "ENTITY.DAT", ".STORAGE.4.DAT",
                             "STORAGE.5.TXT", "KEY.PRI", "ENTITY.DAT.danificado-2024", "reinit"})
        WriteAll(dir + name, "x");
    fs::create_directory(dir + "STORAGE.6.DAT");
    fs::create_symlink(dir + "STORAGE.2.DAT", dir + "STORAGE.7.DAT");
    fs::create_symlink(dir + "missing", dir + "STORAGE.8.DAT");
    EXPECT_EQ(ClientArchivePolicy::BackupFiles(dir),
              (std::vector<std::string>{dir + "ENTITY.DAT", dir + "STORAGE.10.DAT", dir + "STORAGE.2.DAT",
                                        dir + "STORAGE.7.DAT", dir + "storage.3.dat"}));

    // The registry in another letter case is the registry; none at all is
    // no error.
    fs::rename(dir + "ENTITY.DAT", dir + "entity.dat");
    EXPECT_EQ(ClientArchivePolicy::BackupFiles(dir).front(), dir + "entity.dat");
    fs::remove(dir + "entity.dat");
    EXPECT_EQ(ClientArchivePolicy::BackupFiles(dir).front(), dir + "STORAGE.10.DAT");
    EXPECT_TRUE(ClientArchivePolicy::BackupFiles(dir + "absent/").empty());
}

TEST(ClientArchivePolicy, ADisketteGetsVolumesThatFitOnIt)
{
    struct Row {
        const char* shown;
        const char* destination;
        std::int32_t size;
    };
    const Row rows[] = {
        {"A:\\copia.bkp", "A:\\copia.bkp", ClientArchivePolicy::DisketteVolumeSize},
        {"a/copia.bkp", "a/copia.bkp", ClientArchivePolicy::DisketteVolumeSize},
        {"/media/drive/copia.bkp", "/media/drive/copia.bkp", ClientArchivePolicy::DisketteVolumeSize},
        {"/home/ana/copia.bkp", "/home/ana/copia.bkp", 0},
        {"", "", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ClientArchivePolicy::VolumeSize(row.shown, row.destination, "/media/drive/"), row.size) << row.shown;
    EXPECT_EQ(ClientArchivePolicy::DisketteVolumeSize, 1400000);
}

TEST(ClientArchivePolicy, ARestoreIntoTheClientsFolderReplacesOnlyItsDataFiles)
{
    testsupport::TempFolder tmp{"qv-policy"};
    ASSERT_TRUE(tmp.Valid());
    const std::string source = tmp.Path() + "source/", target = tmp.Path() + "target/";
    fs::create_directories(source);
    fs::create_directories(target);
    for (const char* name : {"ENTITY.DAT", "STORAGE.1.DAT", "reinit", "libquorvexkit.so"})
        WriteAll(source + name, std::string("new ") + name);
    for (const char* name : {"ENTITY.DAT", "reinit"})
        WriteAll(target + name, "old");

    TBackupFile backup;
    ClientArchivePolicy::SetUpBackup(backup, "", 0);
    ASSERT_TRUE(
        backup.Backup({source + "ENTITY.DAT", source + "STORAGE.1.DAT", source + "reinit", source + "libquorvexkit.so"},
                      tmp.Path() + "copia.bkp"));

    TBackupFile restore;
    restore.RestoreMode = rmAll;
    std::vector<std::string> skipped;
    ClientArchivePolicy::RestoreOnlyDataFiles(restore, target, skipped);
    ASSERT_TRUE(restore.Restore(tmp.Path() + "copia.bkp", target));
    EXPECT_EQ(ReadAll(target + "ENTITY.DAT"), "new ENTITY.DAT");
    EXPECT_EQ(ReadAll(target + "STORAGE.1.DAT"), "new STORAGE.1.DAT");
    EXPECT_EQ(ReadAll(target + "reinit"), "old");
    EXPECT_FALSE(fs::exists(target + "libquorvexkit.so"));
    ASSERT_EQ(skipped.size(), 2u);
    EXPECT_NE(skipped[0].find("reinit"), std::string::npos) << skipped[0];
    EXPECT_NE(skipped[1].find("libquorvexkit.so"), std::string::npos) << skipped[1];
    EXPECT_TRUE(restore.RestoreAllOrNothing);
}
