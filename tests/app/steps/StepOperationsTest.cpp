// The drive, key-file and storage operations that every step stands on.
#include "app/steps/DriveOperations.h"
#include "app/steps/KeyFileOperations.h"
#include "app/steps/MediumQuestions.h"
#include "app/steps/StorageOperations.h"
#include "base/Texts.h"
#include "store/TUserData.h"

#include "StepFixture.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace steptest;

namespace {

const std::string Id = "{0A1B2C3D-1111-4222-8333-444455556666}";

class StepOperations : public StepFixture {};

TEST_F(StepOperations, DriveProbeSaysNoMediumWithoutErrorAndLeavesNothing)
{
    EXPECT_TRUE(IsDriveWritable(DriveDir));
    EXPECT_TRUE(IsDriveWritable(DriveDir.substr(0, DriveDir.size() - 1))); // without the slash
    EXPECT_FALSE(DriveHasFiles(DriveDir)) << "the probe file must be gone";
    EXPECT_FALSE(IsDriveWritable((Root / "missing").string()));
    EXPECT_FALSE(IsDriveWritable(""));
    WriteFile(Root / "plainfile", "x");
    EXPECT_FALSE(IsDriveWritable((Root / "plainfile").string()));
    if (::geteuid() != 0) { // root writes into read-only folders
        fs::permissions(DriveDir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(IsDriveWritable(DriveDir));
        fs::permissions(DriveDir, fs::perms::owner_all);
    }
}

// Clearing the medium takes only what the client writes to one, and never a
// key file that holds a signed certificate; folders, links and the user's
// files stay, named in the survey.
TEST_F(StepOperations, ClearingTheDriveTakesOnlyTheClientsFilesAndNeverASignedKey)
{
    EXPECT_FALSE(DriveHasFiles(DriveDir));
    EXPECT_FALSE(DriveHasFiles((Root / "missing").string()));
    fs::create_directories(DriveDir + "lost+found");
    EXPECT_TRUE(DriveHasFiles(DriveDir)) << "a folder alone counts";
    WriteFile(Root / "outside", "keep me");
    fs::create_symlink(Root / "outside", DriveDir + "link.PRI");

    enum Fate { Goes, KeptSigned, Kept };
    struct Row {
        const char* name;
        std::string bytes;
        Fate fate;
    } rows[] = {
        {"{0A1B2C3D-1111-4222-8333-444455556666}.TXT", "[General]", Goes}, // a request
        {"{0a1b2c3d-1111-4222-8333-444455557777}.txt", "[General]", Goes}, // one in lower case
        {"notas.TXT", "the user's", Kept},
        {"RESPOSTA.CNS", "response", Goes},
        {"resposta2.cns", "response", Goes},
        {"provisoria.PRI", KitKeyFileBytes(false), Goes},
        {"ASSINADA.PRI", KitKeyFileBytes(true), KeptSigned},
        {"slot.pri", KitKeyFileBytes(false, 'x'), KeptSigned},    // flag clear but slot filled
        {"futura.PRI", KitKeyFileBytes(false, 0, 2), KeptSigned}, // a layout not known here
        {"outro.PRI", "not a key file of the kit", Kept},
        {"vazio.PRI", "", Kept},
        {"export.CRT", "[General]", Goes},
        {"copia.BKP", "PK", Goes},
        {"copia.002", "volume", Goes},
        {"COPIA.003", "volume", Goes},
        {"filme.002", "not beside an archive", Kept},
        {"{0A1B2C3D-1111-4222-8333-444455556666}~tf", "", Goes}, // a probe left by a crash
        {".hidden", "x", Kept},
        {"id_rsa", "secret", Kept},
    };
    for (const Row& row : rows)
        WriteFile(DriveDir + row.name, row.bytes);

    const MediumFolder medium(DriveDir);
    ASSERT_TRUE(medium.IsOpen());
    const MediumSurvey survey = medium.Survey();
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const Row& row : rows) {
        EXPECT_EQ(listed(survey.ToRemove, row.name), row.fate == Goes) << row.name;
        EXPECT_EQ(listed(survey.SignedKeys, row.name), row.fate == KeptSigned) << row.name;
        EXPECT_EQ(listed(survey.Others, row.name), row.fate == Kept) << row.name;
    }
    EXPECT_TRUE(listed(survey.Others, "link.PRI")) << "a link is never the client's";
    EXPECT_FALSE(listed(survey.Others, "lost+found")) << "folders are not named";
    EXPECT_EQ(FilesToClear(DriveDir), static_cast<int>(survey.ToRemove.size()));

    ClearDrive(DriveDir);
    for (const Row& row : rows)
        EXPECT_EQ(fs::exists(DriveDir + row.name), row.fate != Goes) << row.name;
    for (const Row& row : rows) {
        if (row.fate != Goes) {
            EXPECT_EQ(ReadFile(DriveDir + row.name), row.bytes) << row.name;
        }
    }
    EXPECT_TRUE(fs::is_symlink(DriveDir + "link.PRI"));
    EXPECT_EQ(ReadFile(Root / "outside"), "keep me") << "a link is never followed";
    EXPECT_TRUE(fs::is_directory(DriveDir + "lost+found"));
}

// Between the question and the clearing the medium may change: a name that
// now holds something else (a signed key, a link), or a folder name that now
// is a link elsewhere, loses nothing; the folder opened before the question
// is the one cleared.
TEST_F(StepOperations, WhatChangesDuringTheQuestionIsNotCleared)
{
    const std::string request = "{0A1B2C3D-1111-4222-8333-444455556666}.TXT";
    WriteFile(DriveDir + "a.PRI", KitKeyFileBytes(false));
    WriteFile(DriveDir + "b.CNS", "response");
    WriteFile(DriveDir + request, "[General]");
    fs::create_directories(Root / "elsewhere");
    WriteFile(Root / "elsewhere" / "b.CNS", "someone's");
    WriteFile(Root / "elsewhere" / request, "someone's");

    const MediumFolder medium(DriveDir);
    const MediumSurvey survey = medium.Survey();
    ASSERT_EQ(survey.ToRemove.size(), 3u);
    // Meanwhile: a signed key under the first name, a link under the second,
    // and the drive's own name swapped for a link to another folder.
    WriteFile(DriveDir + "a.PRI", KitKeyFileBytes(true));
    fs::remove(DriveDir + "b.CNS");
    fs::create_symlink(Root / "elsewhere" / "b.CNS", DriveDir + "b.CNS");
    fs::rename(Root / "A", Root / "A-moved");
    fs::create_directory_symlink(Root / "elsewhere", Root / "A");

    EXPECT_EQ(medium.Clear(survey.ToRemove), 1) << "only the request, in the folder opened before";
    EXPECT_EQ(ReadFile(Root / "A-moved" / "a.PRI"), KitKeyFileBytes(true));
    EXPECT_TRUE(fs::is_symlink(Root / "A-moved" / "b.CNS"));
    EXPECT_FALSE(fs::exists(Root / "A-moved" / request));
    EXPECT_EQ(ReadFile(Root / "elsewhere" / "b.CNS"), "someone's");
    EXPECT_EQ(ReadFile(Root / "elsewhere" / request), "someone's");
    fs::remove(Root / "A");
    fs::rename(Root / "A-moved", Root / "A");
}

// The question names what goes (a few by name, then how many more) and what
// stays; with nothing staying it keeps the system's own words.
TEST_F(StepOperations, TheClearingQuestionNamesTheFiles)
{
    MediumSurvey survey;
    survey.ToRemove = {"1.CNS", "2.CNS", "3.CNS", "4.CNS", "5.CNS", "6.CNS", "7.CNS"};
    EXPECT_EQ(ClearMediumQuestion("/media/ana/PEN", survey),
              std::string(Texts::ClearDiskQuestion) + "\nPasta: /media/ana/PEN - arquivos a remover: 7"
                  + "\nSerão removidos: 1.CNS, 2.CNS, 3.CNS, 4.CNS, 5.CNS e mais 2");
    survey.ToRemove = {"x.PRI"};
    survey.SignedKeys = {"ANTIGA.PRI"};
    survey.Others = {"foto\n.jpg"};
    EXPECT_EQ(ClearMediumQuestion("/media/ana/PEN", survey),
              std::string(Texts::ClearDiskClientFilesQuestion) + "\nPasta: /media/ana/PEN - arquivos a remover: 1"
                  + "\nSerão removidos: x.PRI"
                  + "\nSerão mantidos, pois contêm um certificado eletrônico assinado: ANTIGA.PRI"
                  + "\nSerão mantidos: foto?.jpg");
}

TEST_F(StepOperations, ExtractKeyFileWritesTheDecodedBytesOnlyForAnIdentifier)
{
    Storage().WriteString(Id, "KeyFile", "000AFF41");
    const std::string path = ExtractKeyFile(Storage(), Id, DriveDir);
    EXPECT_EQ(path, DriveDir + Id + ".PRI");
    EXPECT_EQ(ReadFile(path), std::string("\x00\x0A\xFF\x41", 4));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "a key file is for its owner only";

    // No folder given as a name part: the data folder without its slash.
    EXPECT_EQ(ExtractKeyFile(Storage(), Id, DataDir.substr(0, DataDir.size() - 1)), DataDir + Id + ".PRI");

    const std::string empty = "{0A1B2C3D-1111-4222-8333-444455557777}";
    Storage().WriteString(empty, "KeyFile", "");
    EXPECT_EQ(ExtractKeyFile(Storage(), empty, DataDir), "");
    EXPECT_FALSE(fs::exists(DataDir + empty + ".PRI"));

    // Names that are no identifier never reach the file system.
    for (const std::string bad : {"../../x", "General", "{0A1B2C3D-1111-4222-8333-44445555666/}", ""}) {
        Storage().WriteString(bad.empty() ? "x" : bad, "KeyFile", "41");
        EXPECT_EQ(ExtractKeyFile(Storage(), bad, DataDir), "") << bad;
    }
    EXPECT_FALSE(fs::exists(Root / "x.PRI"));
    EXPECT_FALSE(fs::exists(DataDir + "General.PRI"));
}

TEST_F(StepOperations, ExtractKeyFileReplacesAPlantedLinkAndCleansUpAfterAFailure)
{
    Storage().WriteString(Id, "KeyFile", "4142");
    WriteFile(Root / "victim", "precious");
    fs::create_symlink(Root / "victim", DriveDir + Id + ".PRI");
    const std::string path = ExtractKeyFile(Storage(), Id, DriveDir);
    EXPECT_EQ(ReadFile(path), "AB");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(ReadFile(Root / "victim"), "precious");

    // A user's file hard-linked under the key file's name keeps its bytes:
    // only the name is taken over.
    fs::remove(path);
    WriteFile(Root / "user-file", "user's own");
    fs::create_hard_link(Root / "user-file", path);
    EXPECT_EQ(ReadFile(ExtractKeyFile(Storage(), Id, DriveDir)), "AB");
    EXPECT_EQ(ReadFile(Root / "user-file"), "user's own");

    // A folder that cannot take the file: the failure is raised, nothing stays.
    EXPECT_THROW(ExtractKeyFile(Storage(), Id, (Root / "missing").string()), std::exception);
    EXPECT_TRUE(KeyFilesIn(Root / "missing").empty());
}

// A key file that a crashed step left in the data folder is never a finished
// medium: the start wipes it. What only looks alike, or is not a file, stays.
TEST_F(StepOperations, LeftoverKeyFilesInTheDataFolderAreWiped)
{
    const std::string leftover = DataDir + Id + ".PRI";
    WriteFile(leftover, "private key");
    const int leftoverFd = ::open(leftover.c_str(), O_RDONLY);
    ASSERT_GE(leftoverFd, 0);
    const std::string shared = DataDir + "{0A1B2C3D-1111-4222-8333-444455557777}.PRI";
    WriteFile(Root / "user-file", "user's own");
    fs::create_hard_link(Root / "user-file", shared);
    const std::string link = DataDir + "{0A1B2C3D-1111-4222-8333-444455558888}.PRI";
    WriteFile(Root / "outside", "keep me");
    fs::create_symlink(Root / "outside", link);
    const std::vector<std::string> kept = {"notakey.PRI", Id + ".PRI.bak", Id + ".pri.txt", "STORAGE.1.DAT",
                                           "{0A1B2C3D-1111-4222-8333-444455559999}.PRI"};
    for (std::size_t i = 0; i < 3; ++i)
        WriteFile(DataDir + kept[i], "x");
    fs::create_directories(DataDir + kept[4]);

    EXPECT_EQ(RemoveLeftoverKeyFiles(DataDir), 3);
    for (const std::string& gone : {leftover, shared, link})
        EXPECT_FALSE(fs::exists(fs::symlink_status(gone))) << gone;
    char bytes[11] = {};
    EXPECT_EQ(::pread(leftoverFd, bytes, sizeof bytes, 0), 11);
    EXPECT_EQ(std::string(bytes, sizeof bytes), std::string(11, '\0')) << "overwritten before removal";
    ::close(leftoverFd);
    EXPECT_EQ(ReadFile(Root / "user-file"), "user's own");
    EXPECT_EQ(ReadFile(Root / "outside"), "keep me");
    for (const std::string& stays : kept)
        EXPECT_TRUE(fs::exists(DataDir + stays)) << stays;
    EXPECT_EQ(RemoveLeftoverKeyFiles((Root / "missing").string()), 0);
}

TEST(StepFormatting, ZeroPadListsAndPlainNames)
{
    EXPECT_EQ(ZeroPad(7, 2), "07");
    EXPECT_EQ(ZeroPad(12, 2), "12");
    EXPECT_EQ(ZeroPad(0, 2), "00");
    EXPECT_EQ(ZeroPad(123, 2), "123");

    const std::vector<std::string> list{"{ABCDEF01-1111-4222-8333-444455556666}", "x"};
    EXPECT_TRUE(IsInList("{abcdef01-1111-4222-8333-444455556666}", list));
    EXPECT_FALSE(IsInList("{abcdef01-1111-4222-8333-444455556667}", list));
    EXPECT_FALSE(IsInList("", list));

    EXPECT_EQ(SplitCommaList(""), std::vector<std::string>{});
    EXPECT_EQ(SplitCommaList("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(JoinCommaList({"a", "b"}), "a,b");

    struct Case {
        std::string name, plain;
    } cases[] = {{"Meu certificado", "Meu certificado"},
                 {"../../etc/passwd", "passwd"},
                 {"C:\\temp\\x", "x"},
                 {"a:b", "b"},
                 {"..", "ID"},
                 {"", "ID"},
                 {"dir/", "ID"},
                 {std::string("a\nb\x01", 4), "ab"}};
    for (const Case& c : cases)
        EXPECT_EQ(PlainFileName(c.name, "ID"), c.plain) << c.name;

    EXPECT_TRUE(IsCertificateIdentifier("{abcdef01-1111-4222-8333-444455556666}"));
    EXPECT_FALSE(IsCertificateIdentifier("abcdef01-1111-4222-8333-444455556666"));
    EXPECT_FALSE(IsCertificateIdentifier("{abcdef01x1111-4222-8333-444455556666}"));
    EXPECT_FALSE(IsCertificateIdentifier("{gbcdef01-1111-4222-8333-444455556666}"));
}

TEST_F(StepOperations, TheRecordReadFromStorageReplacesTheResponsiblePersons)
{
    TUserData record;
    record.RespList() = {"Old", "1"};
    record.ReadStorageRecord(Storage());
    record.ReadStorageRecord(Storage());
    EXPECT_EQ(record.Razao, "Metalurgica Sol Ltda");
    EXPECT_EQ(record.Inscricao(), "11222333000181");
    EXPECT_EQ(record.Profile(), "01");
    EXPECT_EQ(record.Tipo_Inscricao(), "01");
    EXPECT_EQ(record.CEP, "80000000");
    EXPECT_EQ(record.Email, "contato@example.com");
    EXPECT_EQ(*record.Resp, (std::vector<std::string>{"Maria Silva", "11144477735"}));

    TUserData fresh; // no list yet: one is made
    fresh.ReadStorageRecord(Storage());
    ASSERT_TRUE(fresh.Resp.has_value());
    EXPECT_EQ(fresh.Resp->size(), 2u);

    // A damaged count is bounded by the section, not trusted.
    Storage().WriteInteger("Resp", "RespCount", 2000000000);
    fresh.ReadStorageRecord(Storage());
    EXPECT_LE(fresh.Resp->size(), 6u);
    EXPECT_EQ(fresh.Resp->at(0), "Maria Silva");
}

} // namespace
