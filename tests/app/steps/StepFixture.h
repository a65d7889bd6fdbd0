#pragma once
// Headless drive of the certificate steps: a temporary data folder with one
// or more registered entities, a drive-A folder, and a questions object that
// answers from a script and records what was asked and shown.
#include "app/steps/StorageOperations.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TStepContext.h"
#include "support/TestKit.h"
#include "app/steps/TStepQuestions.h"
#include "base/ProgramPaths.h"
#include "crypto/TRSAMedia.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace steptest {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const fs::path& Path, const std::string& Bytes)
{
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out << Bytes;
}

// Every file of a folder whose name ends in ".PRI" (any case).
inline std::vector<std::string> KeyFilesIn(const fs::path& Dir)
{
    std::vector<std::string> found;
    if (!fs::exists(Dir))
        return found;
    for (const auto& entry : fs::directory_iterator(Dir)) {
        std::string name = entry.path().filename().string();
        if (name.size() >= 4) {
            std::string ext = name.substr(name.size() - 4);
            for (char& c : ext)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (ext == ".PRI")
                found.push_back(name);
        }
    }
    return found;
}

struct PasswordScript {
    int Result = mrOk;
    std::string Password;
    std::string NewPassword;
};

class ScriptedPassword : public TPasswordAnswer {
public:
    explicit ScriptedPassword(PasswordScript S) : S_(std::move(S)) {}
    int Result() const override { return S_.Result; }
    void GetPassword(std::string& P) const override { P = S_.Password; }
    void GetNewPassword(std::string& P) const override { P = S_.NewPassword; }

private:
    PasswordScript S_;
};

// Answers from queues; an unexpected question fails the test and answers
// Cancel, so that a step never waits.
class ScriptedQuestions : public TStepQuestions {
public:
    std::deque<int> Answers;              // Inform, Confirm, Warn in order
    std::deque<PasswordScript> Passwords; // AskPassword in order
    std::deque<std::string> Files;        // open and save dialogs; "" cancels
    std::string Seed = std::string(128, '\x5A');
    bool SeedFails = false;

    std::vector<std::string> Asked; // every Inform/Confirm/Warn text
    std::vector<std::string> Shown; // every Show text
    std::vector<KeyFilePwd::TPwdMode> PasswordModes;
    std::vector<std::string> PasswordNames;
    std::vector<TFileQuestion> FileQuestions;
    std::vector<std::string> Added, Changed, Removed;
    int Repaints = 0;
    int BusyDepth = 0;
    // Run inside a question, before it is answered (tests change the world
    // there, as a user would between two dialogs).
    std::function<void(const std::string& Text)> OnQuestion;

    int Inform(const std::string& Text, TStepButtons) override { return Answer(Text); }
    int Confirm(const std::string& Text, TStepButtons) override { return Answer(Text); }
    int Warn(const std::string& Text, TStepButtons) override { return Answer(Text); }
    void Show(const std::string& Text) override { Shown.push_back(Text); }

    std::unique_ptr<TPasswordAnswer> AskPassword(KeyFilePwd::TPwdMode Mode, const std::string& Name) override
    {
        PasswordModes.push_back(Mode);
        PasswordNames.push_back(Name);
        if (Passwords.empty()) {
            ADD_FAILURE() << "unexpected password question";
            return std::make_unique<ScriptedPassword>(PasswordScript{mrCancel, {}, {}});
        }
        PasswordScript s = Passwords.front();
        Passwords.pop_front();
        return std::make_unique<ScriptedPassword>(s);
    }

    bool ChooseOpenFile(const TFileQuestion& Q, std::string& FileName) override { return Choose(Q, FileName); }
    bool ChooseSaveFile(const TFileQuestion& Q, std::string& FileName) override { return Choose(Q, FileName); }

    void GatherSeed(TRSAMedia&, std::string& S) override
    {
        if (SeedFails)
            throw std::runtime_error("seed failed");
        S = Seed;
    }
    void Repaint() override { ++Repaints; }
    void Busy(bool On) override { BusyDepth += On ? 1 : -1; }

    void CertificateAdded(const std::string& Id, const std::string&, bool) override { Added.push_back(Id); }
    void CertificateChanged(const std::string& Id) override { Changed.push_back(Id); }
    void CertificateRemoved(const std::string& Id) override { Removed.push_back(Id); }

    bool WasShown(const std::string& Prefix) const
    {
        for (const auto& s : Shown)
            if (s.rfind(Prefix, 0) == 0)
                return true;
        return false;
    }

private:
    int Answer(const std::string& Text)
    {
        Asked.push_back(Text);
        if (OnQuestion)
            OnQuestion(Text);
        if (Answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << Text;
            return mrCancel;
        }
        const int a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool Choose(const TFileQuestion& Q, std::string& FileName)
    {
        FileQuestions.push_back(Q);
        if (Files.empty()) {
            ADD_FAILURE() << "unexpected file question: " << Q.Title;
            return false;
        }
        FileName = Files.front();
        Files.pop_front();
        return !FileName.empty();
    }
};

// The request data of a registered entity, as the entity actions write it.
inline std::string StorageText(const std::string& Razao, const std::string& Inscricao, const std::string& Profile)
{
    return "[General]\r\nRequest=1\r\n\r\n"
           "[Request]\r\nProfile="
           + Profile + "\r\nTipo_Inscricao=01\r\nInscricao=" + Inscricao + "\r\nRazao=" + Razao
           + "\r\nEndereco=Rua das Flores, 10\r\nBairro=Centro\r\nCidade=Curitiba\r\n"
             "UF=PR\r\nCEP=80000000\r\nTelefone=4133334444\r\nEmail=contato@example.com\r\n\r\n"
             "[Resp]\r\nResp1=Maria Silva\r\nCpf1=11144477735\r\nRespCount=1\r\n\r\n";
}

struct EntitySpec {
    std::string Razao;
    std::string Inscricao;
    std::string Profile = "01";
};

// A data folder with the given entities (the first active), a drive-A
// folder, and the registry over them.
class StepFixture : public ::testing::Test {
protected:
    void SetUp() override { Build({{"Metalurgica Sol Ltda", "11222333000181"}}); }
    void TearDown() override
    {
        Context.reset();
        Session.reset();
        std::error_code ec;
        fs::remove_all(Root, ec);
    }

    void Build(const std::vector<EntitySpec>& Entities)
    {
        static int counter = 0;
        Root = fs::temp_directory_path() / ("steps-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(Root);
        fs::create_directories(Root / "data");
        fs::create_directories(Root / "A");
        DataDir = (Root / "data").string() + "/";
        DriveDir = (Root / "A").string() + "/";
        std::string reg = "[General]\r\nCount=" + std::to_string(Entities.size())
                          + "\r\nCountAll=" + std::to_string(Entities.size()) + "\r\nActiveIndex=1\r\n\r\n";
        for (std::size_t i = 0; i < Entities.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            const EntitySpec& e = Entities[i];
            reg += "[Entity" + n + "]\r\nfilename=" + DataDir + "STORAGE." + n + ".DAT\r\nProfile=" + e.Profile
                   + "\r\nTipo_Inscricao=01\r\nInscricao=" + e.Inscricao + "\r\nRazao=" + e.Razao + "\r\nIndex=" + n
                   + "\r\n\r\n";
            WriteFile(DataDir + "STORAGE." + n + ".DAT", StorageText(e.Razao, e.Inscricao, e.Profile));
        }
        WriteFile(DataDir + "ENTITY.DAT", reg);
        Paths = ProgramPaths(DataDir, DataDir, DriveDir);
        Reload();
    }

    // The registry as a fresh start reads it: the entity session, which
    // commits what the steps change.
    void Reload()
    {
        Context.reset();
        Session.reset();
        Session = std::make_unique<TEntitySession>(DataDir);
        RegistryFile = &Session->RegistryFile();
        Registry = &Session->Registry();
        Context = std::make_unique<TStepContext>(*Session, Paths, Ask, testsupport::TestKit());
    }

    void Activate(int Position) { Registry->Activate(Position); }

    TRequestFile& Storage() { return *Registry->Storage(Registry->ActiveIndex()); }
    std::string StorageOnDisk(int n = 1) { return ReadFile(DataDir + "STORAGE." + std::to_string(n) + ".DAT"); }

    fs::path Root;
    std::string DataDir;
    std::string DriveDir;
    ProgramPaths Paths;
    ScriptedQuestions Ask;
    std::unique_ptr<TEntitySession> Session;
    TRequestFile* RegistryFile = nullptr;
    TUsersData* Registry = nullptr;
    std::unique_ptr<TStepContext> Context;
};

} // namespace steptest

#include "store/AtomicFileWriter.h"
#include "base/FileErrors.h"

namespace steptest {

// A writer that refuses every save (a full or pulled medium).
class FailingWriter : public AtomicFileWriter {
public:
    void WriteFile(const std::string& FileName, std::string_view) override
    {
        ++Attempts;
        throw EWriteError(FileErrors::StreamWriteError() + " " + FileName);
    }
    int Attempts = 0;
};

} // namespace steptest

#include "app/steps/TCertificateCreation.h"

namespace steptest {

// Certificates made with the real kit, under the given password.
inline std::string CreateCertificate(StepFixture& F, ScriptedQuestions& Ask, const TStepContext& Context,
                                     const std::string& Password = "SENHA123")
{
    (void)F;
    Ask.Passwords.push_back({mrOk, {}, Password});
    const std::string id = TCertificateCreation(Context).FileNew();
    EXPECT_FALSE(id.empty()) << (Ask.Shown.empty() ? std::string() : Ask.Shown.back());
    return id;
}

// The bytes of a key file in the kit's layout (docs/kit-key-file-format.md)
// as far as the medium clearing reads it: the flags and the certificate slot.
// Flag sets bit 0 (a signed certificate); SlotByte fills the slot's first
// byte; the rest is filler.
inline std::string KitKeyFileBytes(bool Flag, char SlotByte = 0, int Version = 1)
{
    const std::string notice = "aviso";
    std::string bytes = "QVXKEY\r\n";
    bytes += static_cast<char>(Version);
    bytes += '\0';
    bytes += static_cast<char>(Flag ? 1 : 0);
    bytes += '\0';
    bytes += std::string(100, 'i');
    bytes += static_cast<char>(notice.size());
    bytes += '\0';
    bytes += notice + std::string(140, 'p');
    std::string slot(192, '\0');
    slot[0] = SlotByte;
    if (Flag)
        slot.assign(192, 'c');
    bytes += slot + std::string(200, 'k');
    return bytes;
}

// Every file of a folder, names only.
inline std::vector<std::string> FilesIn(const fs::path& Dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir))
        names.push_back(entry.path().filename().string());
    return names;
}

} // namespace steptest
