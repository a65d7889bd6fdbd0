// The entity session headless: how often each action saves, that the disk
// is current after it, and the certificate names it lists and refuses.
#include "app/steps/TEntitySession.h"

#include "app/SampleData.h"
#include "store/AtomicFileWriter.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "support/TestKit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using sample::State;
using testsupport::TestKit;

namespace {

namespace fs = std::filesystem;

class CountingWriter : public AtomicFileWriter {
public:
    int Saves = 0;
    void WriteFile(const std::string& FileName, std::string_view Bytes) override
    {
        ++Saves;
        AtomicFileWriter::WriteFile(FileName, Bytes);
    }
};

class DataFolder {
public:
    DataFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "session-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
    }
    ~DataFolder()
    {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
};

} // namespace

TEST(EntitySession, EachActionSavesTheRegistryAsOftenAsItsCrashStatesNeed)
{
    DataFolder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created),
                                 sample::Make("Beta", "22333444000155", State::Filled, 10)});
    TEntitySession session(folder.Dir());
    auto writer = std::make_shared<CountingWriter>();
    session.RegistryFile().SetWriter(writer);

    struct Row {
        const char* Action;
        std::function<void()> Run;
        int Saves;
        int ActiveAfter;
    };
    const Row rows[] = {
        {"selecting", [&] { EXPECT_TRUE(session.Select(2)); }, 1, 2},
        {"selecting outside the list", [&] { EXPECT_FALSE(session.Select(3)); }, 0, 2},
        // The number is on disk before the form opens.
        {"beginning a registration", [&] { session.BeginRegistration()->Razao = "GAMA"; }, 1, 3},
        {"committing it", [&] { session.CommitRegistration(); }, 1, 3},
        {"filling in", [&] { session.StoreFilledIn(*session.ActiveEntity()); }, 1, 3},
        {"beginning another", [&] { session.BeginRegistration(); }, 1, 4},
        // The deletion mark reaches the disk before the storage file is
        // wiped, then the counts and the entity shown before.
        {"cancelling it", [&] { session.CancelRegistration(); }, 2, 3},
        {"removing the active entity", [&] { session.RemoveActive(); }, 2, 2},
        {"the exit save", [&] { session.SaveOnExit(TestKit()); }, 1, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Action);
        writer->Saves = 0;
        row.Run();
        EXPECT_EQ(writer->Saves, row.Saves);
        EXPECT_EQ(session.ActivePosition(), row.ActiveAfter);
        EXPECT_EQ(sample::ReadFile(folder.Dir() + "ENTITY.DAT"), session.RegistryFile().Text());
    }
    const TRequestFile onDisk(folder.Dir() + "ENTITY.DAT");
    EXPECT_EQ(onDisk.ReadInteger("General", "Count", 0), 2);
    EXPECT_EQ(onDisk.ReadInteger("General", "CountAll", 0), 4);
    // GAMA, removed, keeps its section and number; its data are blanked.
    EXPECT_TRUE(onDisk.ReadBool("Entity3", "DELETED", false));
    EXPECT_EQ(onDisk.ReadString("Entity3", "Razao", "none"), "");
    EXPECT_TRUE(onDisk.ReadBool("Entity4", "DELETED", false));
}

TEST(EntitySession, RenamesRefuseEmptyAndClashingNamesAndSaveOnlyAChange)
{
    DataFolder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created, 1, 3)});
    TEntitySession session(folder.Dir());
    TRequestFile& storage = *session.ActiveStorage();
    // A certificate without a name could be offered to no step: not listed.
    storage.WriteString(sample::Guid(3), "Name", "");
    ASSERT_EQ(session.Certificates(1).size(), 2u);
    auto writer = std::make_shared<CountingWriter>();
    storage.SetWriter(writer);

    const std::string first = sample::Guid(1);
    const std::string second = sample::Guid(2);
    struct Row {
        const std::string& Id;
        const char* Name; // Windows-1252, as the data files hold it
        TRenameResult Result;
        const char* Stored;
        int Saves;
    };
    const Row rows[] = {
        {first, "A\xE7\xE3o", TRenameResult::Renamed, "A\xE7\xE3o", 1},
        {second, "A\xC7\xC3O", TRenameResult::Duplicate, "Certificado 2", 0},
        {second, "cERTIFICADO 2", TRenameResult::Renamed, "cERTIFICADO 2", 1},
        {second, "cERTIFICADO 2", TRenameResult::Unchanged, "cERTIFICADO 2", 0},
        {second, "", TRenameResult::Empty, "cERTIFICADO 2", 0},
        // Pasted over several lines: kept on one line, as the file can hold it.
        {second, "Linha 1\r\n[General]\rMasterKey=\nfim", TRenameResult::Renamed, "Linha 1 [General] MasterKey= fim",
         1},
        {second, "Linha 1 [General] MasterKey=\nfim", TRenameResult::Unchanged, "Linha 1 [General] MasterKey= fim", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        writer->Saves = 0;
        EXPECT_EQ(session.RenameCertificate(row.Id, row.Name), row.Result);
        EXPECT_EQ(session.Certificate(row.Id).Name, row.Stored);
        EXPECT_EQ(writer->Saves, row.Saves);
    }
    // A NUL would end the file there when it is read back.
    EXPECT_EQ(session.RenameCertificate(first, std::string("x\0y", 3)), TRenameResult::Renamed);
    TRequestFile reread(storage.FileName());
    EXPECT_EQ(reread.ReadString(first, "Name", ""), "x y");
    EXPECT_EQ(reread.ReadString(second, "Name", ""), "Linha 1 [General] MasterKey= fim");
    EXPECT_EQ(reread.ReadString("General", "MasterKey", ""), sample::Guid(1));
}

// A hand-edited or damaged Count key must not hide the entities loaded: the
// state counts what the registry holds.
TEST(EntitySession, StateCountsTheEntitiesLoadedNotTheStoredCount)
{
    DataFolder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Created)});
    {
        TRequestFile registry(folder.Dir() + "ENTITY.DAT");
        registry.WriteInteger("General", "Count", 0);
        registry.UpdateFile();
    }
    const TEntitySession session(folder.Dir());
    EXPECT_TRUE(session.State().HaveEntities);
    EXPECT_TRUE(session.Allowed(false).RequestSend);
    EXPECT_EQ(session.NextTask(), TNextTask::RequestSend);
}

TEST(EntitySession, FillingInWritesTheEntitysOwnSectionWhateverItsRecordClaims)
{
    DataFolder folder;
    sample::Write(folder.Dir(), {sample::Make("Alfa", "11222333000181", State::Filled, 1),
                                 sample::Make("Beta", "22333444000155", State::Filled, 1)});
    {
        // A damaged or edited registry: the second entity's record names the
        // first one's number.
        TRequestFile registry(folder.Dir() + "ENTITY.DAT");
        registry.WriteInteger("Entity2", "Index", 1);
        registry.UpdateFile();
    }
    const auto sectionOf = [&](const char* Section) {
        std::vector<std::string> lines;
        TRequestFile(folder.Dir() + "ENTITY.DAT").ReadSectionValues(Section, lines);
        return lines;
    };
    const std::vector<std::string> first = sectionOf("Entity1");
    TEntitySession session(folder.Dir());
    ASSERT_TRUE(session.Select(2));
    session.ActiveEntity()->Razao = "BETA NOVA";
    session.StoreFilledIn(*session.ActiveEntity());

    EXPECT_EQ(sectionOf("Entity1"), first);
    const TRequestFile onDisk(folder.Dir() + "ENTITY.DAT");
    EXPECT_EQ(onDisk.ReadString("Entity2", "Razao", ""), "BETA NOVA");
    EXPECT_EQ(onDisk.ReadInteger("Entity2", "Index", 0), 2);
}
