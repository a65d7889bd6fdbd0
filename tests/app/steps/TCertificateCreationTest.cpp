// Creating and removing certificates with the real kit: what the storage
// file holds afterwards, on disk, and that no key file outlives a step.
#include "app/steps/TCertificateCreation.h"
#include "app/steps/KeyFileOperations.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"

#include "StepFixture.h"

using namespace steptest;

namespace {

class CertificateCreation : public StepFixture {
protected:
    std::string Create(const std::string& Password = "SENHA123")
    {
        Ask.Passwords.push_back({mrOk, {}, Password});
        return TCertificateCreation(*Context).FileNew();
    }
};

TEST_F(CertificateCreation, FirstBecomesMasterSecondGoesToKeysAndNoKeyFileStays)
{
    const std::string first = Create();
    ASSERT_TRUE(IsCertificateIdentifier(first)) << (Ask.Shown.empty() ? "" : Ask.Shown.back());
    const std::string second = Create();
    ASSERT_TRUE(IsCertificateIdentifier(second));
    EXPECT_NE(first, second);
    EXPECT_EQ(Ask.PasswordModes,
              (std::vector<KeyFilePwd::TPwdMode>{KeyFilePwd::pmNewPassword, KeyFilePwd::pmNewPassword}));
    EXPECT_EQ(Ask.Added, (std::vector<std::string>{first, second}));
    EXPECT_EQ(Ask.BusyDepth, 0);
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());

    // What a fresh start reads back.
    Reload();
    EXPECT_EQ(Storage().ReadString("General", "MasterKey", ""), first);
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), second);
    for (const std::string& id : {first, second}) {
        EXPECT_EQ(Storage().ReadString(id, "Name", ""), id);
        EXPECT_EQ(Storage().ReadString(id, "PublicKey", "").size(), 280u);
        const std::string info = HexToString(Storage().ReadString(id, "Info", ""));
        ASSERT_EQ(info.size(), 100u);
        EXPECT_EQ(info.substr(32, 20), "Metalurgica Sol Ltda");
        EXPECT_FALSE(Storage().ReadString(id, "KeyFile", "").empty());
        EXPECT_FALSE(Storage().ReadBool(id, "Signed", false));
    }
    // Creating again does not multiply the responsible persons.
    EXPECT_EQ(Registry->Entity(1)->Resp.value_or(std::vector<std::string>{}).size(), 2u);
}

TEST_F(CertificateCreation, LimitOfOneHundredCertificates)
{
    struct Case {
        int keys;
        bool allowed;
    } cases[] = {{99, false}, {98, true}};
    for (const Case& c : cases) {
        std::vector<std::string> keys;
        for (int i = 0; i < c.keys; ++i)
            keys.push_back("{00000000-0000-4000-8000-" + ZeroPad(i, 12) + "}");
        Storage().WriteString("General", "MasterKey", "{00000000-0000-4000-8000-100000000000}");
        Storage().WriteString("General", "Keys", JoinCommaList(keys));
        EXPECT_EQ(TCertificateCreation(*Context).CanCreateCertificate(), c.allowed) << c.keys;
        Ask.Shown.clear();
        Ask.Added.clear();
        if (c.allowed) {
            const std::string id = Create();
            EXPECT_TRUE(IsCertificateIdentifier(id));
            EXPECT_EQ(ReadKeys(Storage()).size(), 99u);
        } else {
            EXPECT_EQ(TCertificateCreation(*Context).FileNew(), "");
            EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::MaxCertificates});
            EXPECT_TRUE(Ask.PasswordModes.empty());
        }
    }
}

TEST_F(CertificateCreation, StopsBeforeGenerationChangeNothing)
{
    const std::string before = StorageOnDisk();
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string message; // prefix; empty: no message
    } cases[] = {
        {"seed cancelled", [&] { Ask.Seed = std::string(10, '\0') + std::string(118, 'x'); },
         Texts::KeyGenerationCancelled},
        {"seed failed", [&] { Ask.SeedFails = true; }, Texts::KeyGenerationError},
        {"password cancelled",
         [&] {
             Ask.Passwords.push_back({mrCancel, {}, {}});
         },
         ""},
        {"entity without company name",
         [&] {
             Storage().WriteString("Request", "Razao", "");
             Ask.Passwords.push_back({mrOk, {}, "SENHA123"});
         },
         std::string(Texts::KeyGenerationError) + Texts::MediaUser},
    };
    for (Case& c : cases) {
        Ask = ScriptedQuestions{};
        c.arrange();
        EXPECT_EQ(TCertificateCreation(*Context).FileNew(), "") << c.what;
        if (c.message.empty())
            EXPECT_TRUE(Ask.Shown.empty()) << c.what;
        else
            EXPECT_TRUE(Ask.WasShown(c.message)) << c.what;
        EXPECT_TRUE(Ask.Added.empty());
        EXPECT_EQ(Storage().ReadString("General", "MasterKey", ""), "") << c.what;
        EXPECT_TRUE(KeyFilesIn(DataDir).empty()) << c.what;
        EXPECT_EQ(StorageOnDisk(), before) << c.what;
    }
}

TEST_F(CertificateCreation, AFailingLastSaveIsUndoneInMemoryAndLeavesNoKeyFile)
{
    const std::string master = Create();
    ASSERT_FALSE(master.empty());
    const std::string memoryBefore = Storage().Text();
    const std::string diskBefore = StorageOnDisk();

    auto failing = std::make_shared<FailingWriter>();
    Storage().SetWriter(failing);
    Ask.Added.clear();
    EXPECT_EQ(Create(), "");
    EXPECT_EQ(failing->Attempts, 1);
    EXPECT_TRUE(Ask.WasShown(Texts::KeyGenerationError));
    EXPECT_EQ(Storage().Text(), memoryBefore) << "no identifier without its section";
    EXPECT_EQ(StorageOnDisk(), diskBefore);
    EXPECT_TRUE(Ask.Added.empty());
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());

    // A later save writes nothing of the failed creation.
    Storage().SetWriter(nullptr);
    Storage().UpdateFile();
    Reload();
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), "");
}

TEST_F(CertificateCreation, RemovalPromotesTheFirstOfKeysAndTheLastResetsTheEntity)
{
    const std::string a = Create(), b = Create(), c = Create();
    ASSERT_FALSE(c.empty());
    Storage().WriteBool("General", "RequestSent", true);
    Storage().WriteBool("General", "RequestReceived", true);

    // A fresh step over each reloaded registry.
    auto step = [&] { return TCertificateCreation(*Context); };
    Ask.Answers = {mrNo};
    step().FileRemove(a);
    EXPECT_EQ(Storage().ReadString("General", "MasterKey", ""), a) << "a No keeps it";
    EXPECT_EQ(Ask.Asked, std::vector<std::string>{Texts::RemoveCertificateQuestion});

    Ask.Answers = {mrYes};
    step().FileRemove(a);
    Reload();
    EXPECT_EQ(Storage().ReadString("General", "MasterKey", ""), b);
    EXPECT_EQ(Storage().ReadString("General", "Keys", ""), c);
    EXPECT_FALSE(Storage().SectionExists(a));

    // A signed certificate is refused with a notice.
    Storage().WriteBool(c, "Signed", true);
    Ask.Asked.clear();
    Ask.Answers = {mrOk};
    step().FileRemove(c);
    EXPECT_EQ(Ask.Asked, std::vector<std::string>{Texts::SignedNotRemovable});
    EXPECT_TRUE(Storage().SectionExists(c));

    // Removing without the question, as the medium step does; the last one
    // returns the entity to "registered".
    EXPECT_TRUE(step().RemoveCertificate(c, false));
    EXPECT_TRUE(step().RemoveCertificate(b, false));
    Reload();
    for (const char* key : {"MasterKey", "Keys", "RequestSent", "RequestReceived"})
        EXPECT_EQ(Storage().ReadString("General", key, "absent"), "absent") << key;
    EXPECT_TRUE(Storage().ReadBool("General", "Request", false));
    EXPECT_EQ(Ask.Removed, (std::vector<std::string>{a, c, b}));
}

} // namespace
