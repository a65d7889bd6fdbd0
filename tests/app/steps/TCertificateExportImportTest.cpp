// Export and import with the real kit, and the import as an attacker would
// feed it: hand-edited files, identifiers that are paths or section names,
// other keys under identifiers the entity holds, and the limit of 100.
#include "base/FormatText.h"
#include "app/steps/TCertificateExport.h"
#include "app/steps/TCertificateImport.h"
#include "base/Texts.h"

#include "StepFixture.h"

#include <cstdio>

using namespace steptest;

namespace {

class ExportImport : public StepFixture {
protected:
    void SetUp() override
    {
        // Two entities of one company name (the info blocks' owner part).
        Build({{"Metalurgica Sol Ltda", "11222333000181"}, {"Metalurgica Sol Ltda", "11444777000161"}});
        for (int i = 0; i < 3; ++i)
            Ids.push_back(CreateCertificate(*this, Ask, *Context));
        Storage().WriteBool(Ids[0], "Signed", true);
        Storage().UpdateFile();
        Activate(2);
        Master2 = CreateCertificate(*this, Ask, *Context);
        Activate(1);
        Ask = ScriptedQuestions{};
        ExportFile = (Root / "export.CRT").string();
    }

    int Export(const std::string& Chosen)
    {
        Ask.Files = {Chosen};
        return TCertificateExport(*Context).FileExport();
    }
    int Import(const std::string& File)
    {
        Ask.Files = {File};
        return TCertificateImport(*Context).FileImport();
    }
    // Rewrites an export file after Edit, with a fingerprint that matches
    // again (anyone can recompute it).
    void Forge(const std::function<void(TRequestFile&)>& Edit)
    {
        auto file = TRequestFile::CreateFromLines(nullptr);
        file->SetText(ReadFile(ExportFile));
        Edit(*file);
        file->WriteString("Fingerprint", "Value", TCertificateExport::Fingerprint(Context->Kit, *file));
        WriteFile(ExportFile, file->Text());
    }

    std::vector<std::string> Ids;
    std::string Master2;
    std::string ExportFile;
};

TEST_F(ExportImport, ExportWritesTheUnsignedOnesThenMarksTheRequestSent)
{
    EXPECT_EQ(Export((Root / "export").string()), 2) << "the .CRT extension is added";
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{FormatText(Texts::ExportDone, {"2"})});
    auto file = TRequestFile::CreateFromLines(nullptr);
    file->SetText(ReadFile(ExportFile));
    EXPECT_TRUE(TCertificateExport::IsExportFile(Context->Kit, *file));
    EXPECT_EQ(file->ReadString("General", "Keys", ""), Ids[1] + "," + Ids[2]);
    std::vector<std::string> sections;
    file->ReadSections(sections);
    EXPECT_EQ(sections, (std::vector<std::string>{"General", Ids[1], Ids[2], "Fingerprint"}));
    std::vector<std::string> keys;
    file->ReadSection(Ids[1], keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"PublicKey", "Info", "KeyFile", "Name", "Signed"}));

    Reload(); // saved at once
    EXPECT_TRUE(Storage().ReadBool("General", "RequestSent", false));
    EXPECT_EQ(Storage().ReadString("RequestReference", "00", ""), Ids[1]);
    EXPECT_EQ(Storage().ReadString("RequestReference", "01", ""), Ids[2]);

    // A link planted under the chosen name (on a medium): the answer Yes
    // replaces the name asked about, not the file the link points at.
    WriteFile((Root / "victim").string(), "someone's file");
    fs::remove(ExportFile);
    fs::create_symlink(Root / "victim", ExportFile);
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrYes};
    EXPECT_EQ(Export(ExportFile), 2);
    EXPECT_EQ(Ask.Asked, std::vector<std::string>{FormatText(Texts::ReplaceFileQuestion, {ExportFile})});
    EXPECT_EQ(ReadFile((Root / "victim").string()), "someone's file");
    EXPECT_FALSE(fs::is_symlink(ExportFile));
    EXPECT_EQ(fs::status(ExportFile).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ExportImport, AnExportThatCannotBeWrittenOrIsDeclinedChangesNothing)
{
    const std::string disk = StorageOnDisk();
    const std::string memory = Storage().Text();
    // The folder does not exist: the write fails.
    EXPECT_EQ(Export((Root / "missing" / "x.CRT").string()), 0);
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::ExportOverwriteFailed});

    // The question names the file with its added extension; No keeps it.
    WriteFile(ExportFile, "old");
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrNo};
    EXPECT_EQ(Export((Root / "export").string()), 0);
    EXPECT_EQ(Ask.Asked, std::vector<std::string>{FormatText(Texts::ReplaceFileQuestion, {ExportFile})});
    EXPECT_EQ(ReadFile(ExportFile), "old");

    EXPECT_TRUE(Storage().Text() == memory);
    EXPECT_TRUE(StorageOnDisk() == disk);

    // Every certificate signed: no file.
    for (const std::string& id : Ids)
        Storage().WriteBool(id, "Signed", true);
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Export((Root / "other.CRT").string()), 0);
    EXPECT_FALSE(fs::exists(Root / "other.CRT"));
    EXPECT_TRUE(StorageOnDisk() == disk);
}

TEST_F(ExportImport, ImportIntoAnotherEntityAddsThemAndIntoTheExportingOneNothing)
{
    ASSERT_EQ(Export(ExportFile), 2);
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Import(ExportFile), 0);
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::ImportNothing});

    Activate(2);
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Import(ExportFile), 2);
    EXPECT_TRUE(Ask.Shown.empty());
    EXPECT_EQ(Ask.Added, (std::vector<std::string>{Ids[1], Ids[2]}));
    Reload();
    Activate(2);
    EXPECT_EQ(Storage().ReadString("General", "MasterKey", ""), Master2);
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), Ids[1] + "," + Ids[2]);
    EXPECT_EQ(Storage().ReadString(Ids[1], "KeyFile", ""), Registry->Storage(1)->ReadString(Ids[1], "KeyFile", ""));

    // Once more: they are its own and unsigned now, nothing comes in twice.
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Import(ExportFile), 0);
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), Ids[1] + "," + Ids[2]);
}

TEST_F(ExportImport, HostileExportFilesAreRefusedWithoutTouchingTheStorage)
{
    ASSERT_EQ(Export(ExportFile), 2);
    const std::string original = ReadFile(ExportFile);
    Activate(2);
    const std::string disk = StorageOnDisk(2);
    const std::string memory = Storage().Text();
    const std::string own = Master2;

    struct Case {
        const char* what;
        std::function<void()> make;
        std::string shown;
    } cases[] = {
        {"edited by hand",
         [&] {
             std::string text = original;
             text.replace(text.find("Name="), 5, "Name=X");
             WriteFile(ExportFile, text);
         },
         Texts::ImportInvalid},
        {"identifier that is a path",
         [&] {
             Forge([&](TRequestFile& f) {
                 f.WriteString("General", "Keys", "../../x");
                 f.WriteString("../../x", "KeyFile", "41");
             });
         },
         Texts::ImportInvalid},
        {"identifier that is a section of the storage",
         [&] { Forge([&](TRequestFile& f) { f.WriteString("General", "Keys", "General"); }); }, Texts::ImportInvalid},
        {"identifier listed twice",
         [&] { Forge([&](TRequestFile& f) { f.WriteString("General", "Keys", Ids[1] + "," + Ids[1]); }); },
         Texts::ImportInvalid},
        {"another key under the entity's own identifier",
         [&] {
             Forge([&](TRequestFile& f) {
                 f.WriteString("General", "Keys", own);
                 f.EraseSection(Ids[2]);
                 f.WriteString(own, "PublicKey", f.ReadString(Ids[1], "PublicKey", ""));
                 f.WriteString(own, "Info", f.ReadString(Ids[1], "Info", ""));
                 f.WriteString(own, "KeyFile", f.ReadString(Ids[1], "KeyFile", ""));
                 f.WriteString(own, "Name", "trocado");
                 f.WriteBool(own, "Signed", true);
                 f.EraseSection(Ids[1]);
             });
         },
         Texts::ImportNothing},
        {"the own public key with another key file",
         [&] {
             const TRequestFile& storage = *Registry->Storage(2);
             Forge([&](TRequestFile& f) {
                 f.WriteString("General", "Keys", own);
                 f.WriteString(own, "PublicKey", storage.ReadString(own, "PublicKey", ""));
                 f.WriteString(own, "Info", storage.ReadString(own, "Info", ""));
                 f.WriteString(own, "KeyFile", f.ReadString(Ids[1], "KeyFile", ""));
                 f.WriteString(own, "Name", "trocado");
                 f.WriteBool(own, "Signed", true);
             });
         },
         Texts::ImportNothing},
        {"new certificates whose key files hold each other's keys",
         [&] {
             Forge([&](TRequestFile& f) {
                 const std::string first = f.ReadString(Ids[1], "KeyFile", "");
                 f.WriteString(Ids[1], "KeyFile", f.ReadString(Ids[2], "KeyFile", ""));
                 f.WriteString(Ids[2], "KeyFile", first);
             });
         },
         Texts::ImportNothing},
        {"new certificates whose key files are no key files",
         [&] {
             Forge([&](TRequestFile& f) {
                 f.WriteString(Ids[1], "KeyFile", "41");
                 f.WriteString(Ids[2], "KeyFile", "00");
             });
         },
         Texts::ImportNothing},
        {"more certificates than an entity holds (each a key file to write and wipe)",
         [&] {
             Forge([&](TRequestFile& f) {
                 std::vector<std::string> many;
                 for (int i = 0; i < 101; ++i) {
                     char id[39];
                     std::snprintf(id, sizeof id, "{%08X-1111-2222-3333-444444444444}", i);
                     many.push_back(id);
                     for (const char* key : {"PublicKey", "Info", "KeyFile", "Name"})
                         f.WriteString(id, key, f.ReadString(Ids[1], key, ""));
                 }
                 f.WriteString("General", "Keys", JoinCommaList(many));
             });
         },
         Texts::ImportInvalid},
        {"a folder instead of a file",
         [&] {
             fs::remove(ExportFile);
             fs::create_directories(ExportFile);
         },
         FormatText(Texts::ImportCannotOpen, {ExportFile})},
    };
    for (Case& c : cases) {
        fs::remove_all(ExportFile);
        WriteFile(ExportFile, original);
        c.make();
        Ask = ScriptedQuestions{};
        EXPECT_EQ(Import(ExportFile), 0) << c.what;
        EXPECT_EQ(Ask.Shown, std::vector<std::string>{c.shown}) << c.what;
        EXPECT_TRUE(Ask.Added.empty() && Ask.Changed.empty()) << c.what;
        EXPECT_TRUE(Storage().Text() == memory) << c.what;
        EXPECT_TRUE(StorageOnDisk(2) == disk) << c.what;
        EXPECT_TRUE(KeyFilesIn(DataDir).empty()) << c.what;
        EXPECT_FALSE(fs::exists(Root / "x.PRI")) << c.what;
    }
}

TEST_F(ExportImport, ASignedCopyOfAnOwnCertificateReplacesItsKeyInPlace)
{
    // The exporting entity's own certificate comes back signed (as another
    // installation that received it would export it): accepted only because
    // its public key and its key file are those stored.
    ASSERT_EQ(Export(ExportFile), 2);
    Forge([&](TRequestFile& f) {
        f.WriteString("General", "Keys", Ids[1]);
        f.EraseSection(Ids[2]);
        f.WriteBool(Ids[1], "Signed", true);
        f.WriteString(Ids[1], "Name", "Assinado");
    });
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Import(ExportFile), 1) << (Ask.Shown.empty() ? "" : Ask.Shown.back());
    EXPECT_EQ(Ask.Changed, std::vector<std::string>{Ids[1]});
    EXPECT_TRUE(Ask.Added.empty());
    Reload();
    EXPECT_TRUE(Storage().ReadBool(Ids[1], "Signed", false));
    EXPECT_EQ(Storage().ReadString(Ids[1], "Name", ""), "Assinado");
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), Ids[1] + "," + Ids[2]) << "never listed twice";
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
}

TEST_F(ExportImport, TheLimitOfOneHundredIsCheckedForTheWholeImportBeforeCopying)
{
    ASSERT_EQ(Export(ExportFile), 2);
    Activate(2);
    // 98 in Keys and the master: room for one more, the file brings two.
    std::vector<std::string> keys;
    for (int i = 0; i < 98; ++i)
        keys.push_back("{00000000-0000-4000-8000-" + ZeroPad(i, 12) + "}");
    Storage().WriteString("General", "Keys", JoinCommaList(keys));
    const std::string memory = Storage().Text();
    Ask = ScriptedQuestions{};
    EXPECT_EQ(Import(ExportFile), 0);
    EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::MaxCertificates});
    EXPECT_TRUE(Storage().Text() == memory);
    EXPECT_TRUE(Ask.Added.empty());
}

} // namespace
