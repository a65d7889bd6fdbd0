// Receiving the authority's response with the real kit: the certificates of
// a response go into their keys, each is saved at once, and every stop
// leaves the storage as it stood and no key file behind.
#include "app/steps/TRequestReceiving.h"
#include "app/steps/TCertificateCreation.h"
#include "app/steps/KeyFileOperations.h"
#include "base/Texts.h"
#include "crypto/FormatHex.h"

#include "CertificationAuthority.h"
#include "StepFixture.h"

#include <sys/stat.h>

#include <cctype>
#include <functional>

using namespace steptest;

namespace {

const std::string Inscricao = "11222333000181";

class RequestReceiving : public StepFixture {
protected:
    static void SetUpTestSuite()
    {
        AuthorityDir = fs::temp_directory_path() / ("receiving-ca-" + std::to_string(::getpid()));
        bool created = false;
        Authority = new CertificationAuthority(AuthorityDir.string(), created);
    }
    static void TearDownTestSuite()
    {
        delete Authority;
        Authority = nullptr;
        fs::remove_all(AuthorityDir);
    }

    std::string Create(const std::string& Password)
    {
        Ask.Passwords.push_back({mrOk, {}, Password});
        const std::string id = TCertificateCreation(*Context).FileNew();
        EXPECT_FALSE(id.empty());
        return id;
    }

    // N certificates, each under the password "SENHA" + its number, sent in
    // one request: [RequestReference] names them position by position.
    void CreateAndSend(int N)
    {
        Ids.clear();
        for (int i = 0; i < N; ++i) {
            Ids.push_back(Create("SENHA" + std::to_string(i)));
            Storage().WriteString(Ids.back(), "Name", "Certificado " + std::to_string(i));
        }
        Storage().EraseSection("RequestReference");
        for (int i = 0; i < N; ++i)
            Storage().WriteString("RequestReference", ZeroPad(i, 2), Ids[static_cast<std::size_t>(i)]);
        Storage().WriteString("RequestReference", "FileName", DriveDir + "{REQ}.TXT");
        Storage().WriteBool("General", "RequestSent", true);
        Storage().UpdateFile();
        Ask = ScriptedQuestions{};
    }

    std::string NewId(int Serial) const { return "01" + Inscricao + ZeroPad(Serial, 8) + "01"; }

    // The authority's answer for every position, as the tool writes it.
    std::unique_ptr<TRequestFile> Response()
    {
        auto response = std::make_unique<TRequestFile>("");
        TRequestFile& r = *response;
        r.WriteString("General", "Dir", TRequestReceiving::ResponseMarker);
        for (std::size_t i = 0; i < Ids.size(); ++i) {
            const std::string nn = ZeroPad(static_cast<int>(i), 2);
            const std::string key = Storage().ReadString(Ids[i], "PublicKey", "");
            r.WriteString("Certificates", "NewId" + nn, NewId(static_cast<int>(i) + 1));
            r.WriteString("Certificates", "Crt" + nn,
                          StringToHex(Authority->MakeCertificate(HexToString(key), NewId(static_cast<int>(i) + 1),
                                                                 1'800'000'000u, 1'900'000'000u)));
        }
        for (std::size_t i = 0; i < Ids.size(); ++i) {
            const std::string nn = ZeroPad(static_cast<int>(i), 2);
            r.WriteString("Keys", "Key" + nn, Storage().ReadString(Ids[i], "PublicKey", ""));
            r.WriteString("Keys", "Info" + nn, Storage().ReadString(Ids[i], "Info", ""));
        }
        return response;
    }

    void Passwords(std::initializer_list<std::string> List)
    {
        for (const std::string& p : List)
            Ask.Passwords.push_back({mrOk, p, {}});
    }

    TRequestReceiving::TOutcome Receive(const TRequestFile& R) { return TRequestReceiving(*Context).Incorporate(R); }

    static fs::path AuthorityDir;
    static CertificationAuthority* Authority;
    std::vector<std::string> Ids;
};
fs::path RequestReceiving::AuthorityDir;
CertificationAuthority* RequestReceiving::Authority = nullptr;

TEST_F(RequestReceiving, EveryCertificateGoesIntoItsKeyAndIsSaved)
{
    CreateAndSend(3);
    const std::string keyFileBefore = Storage().ReadString(Ids[1], "KeyFile", "");
    Passwords({"SENHA0", "SENHA1", "SENHA2"});
    const auto outcome = Receive(*Response());
    EXPECT_EQ(outcome.Incorporated, 3);
    EXPECT_TRUE(outcome.Completed);
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{"Foram incorporados com sucesso 3 certificados eletrônicos assinados."});
    EXPECT_EQ(Ask.PasswordNames, (std::vector<std::string>{"Certificado 0", "Certificado 1", "Certificado 2"}));
    EXPECT_EQ(Ask.Changed, Ids);
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());

    Reload();
    EXPECT_TRUE(Storage().ReadBool("General", "RequestReceived", false));
    for (std::size_t i = 0; i < Ids.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Storage().ReadBool(Ids[i], "Signed", false));
        const std::string info = HexToString(Storage().ReadString(Ids[i], "Info", ""));
        ASSERT_EQ(info.size(), 100u);
        EXPECT_EQ(info.substr(0, 26), NewId(static_cast<int>(i) + 1)) << "the authority's identifier";
        EXPECT_EQ(info.substr(32, 20), "Metalurgica Sol Ltda");
        // The key file now carries the certificate (flag bit 0 of byte 10).
        const std::string image = HexToString(Storage().ReadString(Ids[i], "KeyFile", ""));
        ASSERT_GT(image.size(), 10u);
        EXPECT_EQ(image[10] & 1, 1);
    }
    EXPECT_NE(Storage().ReadString(Ids[1], "KeyFile", ""), keyFileBefore);

    // The same response again: every position is signed already.
    Ask = ScriptedQuestions{};
    const auto again = Receive(*Response());
    EXPECT_EQ(again.Incorporated, 0);
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{"Foram incorporados com sucesso 0 certificados eletrônicos assinados."});
    EXPECT_TRUE(Ask.PasswordModes.empty());
}

TEST_F(RequestReceiving, APositionAlreadySignedIsSkipped)
{
    CreateAndSend(2);
    Storage().WriteBool(Ids[0], "Signed", true);
    Passwords({"SENHA1"});
    const auto outcome = Receive(*Response());
    EXPECT_EQ(outcome.Incorporated, 1);
    EXPECT_EQ(Ask.Shown,
              std::vector<std::string>{"Foram incorporados com sucesso 1 certificados eletrônicos assinados."});
    EXPECT_EQ(Ask.PasswordNames, std::vector<std::string>{"Certificado 1"});
}

// Each stop shows its message word for word and ends the whole operation;
// what was incorporated before it stays saved on disk, nothing else changes,
// and no key file is left.
TEST_F(RequestReceiving, StopsTellWhyAndKeepWhatWasDone)
{
    CreateAndSend(2);
    const std::string sent = StorageOnDisk();
    const auto good = Response();
    const std::string secondCertificate = good->ReadString("Certificates", "Crt01", "");

    struct Case {
        const char* what;
        std::function<void(TRequestFile&)> change;
        std::vector<std::string> passwords;
        std::string message; // empty: none
        int incorporated;
        std::function<void(TRequestFile&)> storage = {}; // a change to the storage as sent
    };
    const std::string idOf1 = Ids[1];
    const Case cases[] = {
        {"a request given instead of a response",
         [](TRequestFile& r) { r.WriteString("General", "Dir", "Request"); },
         {},
         "O arquivo selecionado contendo os certificados assinados é inválido.",
         0},
        {"marker in another case",
         [](TRequestFile& r) { r.WriteString("General", "Dir", "XEVMORPAD"); },
         {},
         "O arquivo selecionado contendo os certificados assinados é inválido.",
         0},
        {"second NewId missing",
         [](TRequestFile& r) { r.DeleteKey("Certificates", "NewId01"); },
         {"SENHA0"},
         "O certificado eletrônico " + idOf1
             + " não foi assinado para o seu usuário, mas para a inscrição (nenhuma). "
               "É provável que o arquivo de requisição esteja incorreto.",
         1},
        {"second NewId blank",
         [](TRequestFile& r) { r.WriteString("Certificates", "NewId01", "  "); },
         {"SENHA0"},
         "O certificado eletrônico " + idOf1
             + " não foi assinado para o seu usuário, mas para a inscrição (nenhuma). "
               "É provável que o arquivo de requisição esteja incorreto.",
         1},
        {"second NewId for another inscription",
         [](TRequestFile& r) { r.WriteString("Certificates", "NewId01", "01998887770001660000000901"); },
         {"SENHA0"},
         "O certificado eletrônico " + idOf1
             + " não foi assinado para o seu usuário, mas para a inscrição "
               "99888777000166. É provável que o arquivo de requisição esteja incorreto.",
         1},
        {"second NewId for another branch of the same company",
         [](TRequestFile& r) { r.WriteString("Certificates", "NewId01", "01112223330002620000000201"); },
         {"SENHA0"},
         "O certificado eletrônico " + idOf1
             + " não foi assinado para o seu usuário, mas para a inscrição "
               "11222333000262. É provável que o arquivo de requisição esteja incorreto.",
         1},
        {"second NewId holds the inscription only further on",
         [](TRequestFile& r) { r.WriteString("Certificates", "NewId01", "01999999999911222333000181"); },
         {"SENHA0"},
         "O certificado eletrônico " + idOf1
             + " não foi assinado para o seu usuário, mas para a inscrição "
               "99999999991122. É provável que o arquivo de requisição esteja incorreto.",
         1},
        {"no inscription stored: no NewId names it",
         [](TRequestFile&) {},
         {},
         "O certificado eletrônico " + Ids[0]
             + " não foi assinado para o seu usuário, mas para a inscrição "
               "11222333000181. É provável que o arquivo de requisição esteja incorreto.",
         0,
         [](TRequestFile& s) { s.WriteString("Request", "Inscricao", ""); }},
        {"second NewId is not the identifier its certificate carries",
         [this](TRequestFile& r) { r.WriteString("Certificates", "NewId01", NewId(9)); },
         {"SENHA0"},
         "Esta requisição assinada não é compatível com os dados armazenados em seus storage.",
         1},
        {"second public key differs",
         [](TRequestFile& r) { r.WriteString("Keys", "Key01", r.ReadString("Keys", "Key00", "")); },
         {"SENHA0"},
         "Esta requisição assinada não é compatível com os dados armazenados em seus storage.",
         1},
        {"first info block differs in case only",
         [](TRequestFile& r) {
             std::string info = r.ReadString("Keys", "Info00", "");
             for (char& c : info)
                 c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             r.WriteString("Keys", "Info00", info);
         },
         {},
         "Esta requisição assinada não é compatível com os dados armazenados em seus storage.",
         0},
        {"first certificate issued for the second key, under its own identifier",
         [secondCertificate](TRequestFile& r) {
             r.WriteString("Certificates", "Crt00", secondCertificate);
             r.WriteString("Certificates", "NewId00", r.ReadString("Certificates", "NewId01", ""));
         },
         {"SENHA0"},
         "O certificado assinado não foi emitido para a chave deste certificado eletrônico. "
         "É provável que o arquivo de requisição esteja incorreto. (40980)",
         0},
        {"wrong password for the second",
         [](TRequestFile&) {},
         {"SENHA0", "ERRADA"},
         "Senha incorreta, favor repetir o processo de recebimento. (40979)",
         1},
        {"certificate text too short",
         [](TRequestFile& r) {
             r.WriteString("Certificates", "Crt00", r.ReadString("Certificates", "Crt00", "").substr(2));
         },
         {"SENHA0"},
         "Argumento inválido para a função PutCertificate.",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Back to the storage as sent, read again as at a fresh start.
        WriteFile(DataDir + "STORAGE.1.DAT", sent);
        Reload();
        if (c.storage)
            c.storage(Storage());
        const std::string before = StorageOnDisk();
        Ask = ScriptedQuestions{};
        for (const std::string& p : c.passwords)
            Ask.Passwords.push_back({mrOk, p, {}});
        TRequestFile response("");
        response.SetText(good->Text());
        c.change(response);

        const auto outcome = Receive(response);
        EXPECT_EQ(outcome.Incorporated, c.incorporated);
        EXPECT_FALSE(outcome.Completed);
        EXPECT_EQ(Ask.Shown, std::vector<std::string>{c.message});
        EXPECT_TRUE(Ask.Passwords.empty()) << "every password was asked for";
        EXPECT_TRUE(KeyFilesIn(DataDir).empty());
        Reload();
        if (c.incorporated == 0) {
            EXPECT_EQ(StorageOnDisk(), before);
        } else {
            EXPECT_TRUE(Storage().ReadBool(Ids[0], "Signed", false)) << "saved before the stop";
            EXPECT_TRUE(Storage().ReadBool("General", "RequestReceived", false));
            EXPECT_FALSE(Storage().ReadBool(Ids[1], "Signed", false));
        }
    }
}

TEST_F(RequestReceiving, ACancelledPasswordStopsSilentlyAndWipesTheKeyFile)
{
    CreateAndSend(1);
    const std::string sent = StorageOnDisk();
    Ask.Passwords.push_back({mrCancel, {}, {}});
    const auto outcome = Receive(*Response());
    EXPECT_EQ(outcome.Incorporated, 0);
    EXPECT_TRUE(Ask.Shown.empty());
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
    EXPECT_EQ(StorageOnDisk(), sent);
}

// A save that fails after a certificate went into its key: the user is told,
// the operation stops, and the certificate is written by the next save.
TEST_F(RequestReceiving, AFailingSaveIsReportedAndStops)
{
    CreateAndSend(2);
    const std::string sent = StorageOnDisk();
    auto failing = std::make_shared<FailingWriter>();
    Storage().SetWriter(failing);
    Passwords({"SENHA0"});
    const auto outcome = Receive(*Response());
    EXPECT_EQ(failing->Attempts, 1);
    EXPECT_FALSE(outcome.Completed);
    ASSERT_EQ(Ask.Shown.size(), 1u);
    EXPECT_EQ(Ask.Shown[0].rfind(Texts::ReceiveStoreError, 0), 0u) << Ask.Shown[0];
    EXPECT_NE(Ask.Shown[0].find("EWriteError - "), std::string::npos) << Ask.Shown[0];
    EXPECT_TRUE(KeyFilesIn(DataDir).empty());
    EXPECT_EQ(StorageOnDisk(), sent);

    Storage().SetWriter(nullptr);
    Storage().UpdateFile();
    Reload();
    EXPECT_TRUE(Storage().ReadBool(Ids[0], "Signed", false));
    EXPECT_FALSE(Storage().ReadBool(Ids[1], "Signed", false));
}

// The step's front: the medium must accept a probe file, the file must be
// a regular file; a folder, a pipe or a missing file is refused unread.
TEST_F(RequestReceiving, TheMediumAndTheFileAreCheckedFirst)
{
    CreateAndSend(1);
    const std::string sent = StorageOnDisk();

    // No medium in the drive (the folder is missing) keeps the question
    // coming until the user cancels; no file is asked for.
    const std::string away = Root.string() + "/away";
    fs::rename(DriveDir, away);
    Ask.Answers = {mrOk, mrOk, mrCancel};
    EXPECT_EQ(TRequestReceiving(*Context).RequestReceive().Incorporated, 0);
    EXPECT_EQ(Ask.Asked,
              std::vector<std::string>(3, std::string(Texts::ReceiveInsertDisk) + "\nPasta do drive A: " + DriveDir));
    EXPECT_TRUE(Ask.FileQuestions.empty());
    fs::rename(away, DriveDir);

    // The medium arrives while the question is shown.
    fs::rename(DriveDir, away);
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrOk, mrOk};
    Ask.OnQuestion = [&](const std::string&) {
        if (Ask.Asked.size() == 2)
            fs::rename(away, DriveDir);
    };
    Ask.Files = {""};
    TRequestReceiving(*Context).RequestReceive();
    EXPECT_EQ(Ask.Asked.size(), 2u);
    EXPECT_EQ(Ask.FileQuestions.size(), 1u) << "the file dialog follows once the medium is there";
    EXPECT_TRUE(Ask.Shown.empty()) << "a cancelled file dialog says nothing";

    ASSERT_EQ(::mkfifo((DriveDir + "pipe.CNS").c_str(), 0600), 0);
    fs::create_directories(DriveDir + "folder.CNS");
    for (const std::string& name : {DriveDir + "pipe.CNS", DriveDir + "folder.CNS", DriveDir + "missing.CNS"}) {
        SCOPED_TRACE(name);
        Ask = ScriptedQuestions{};
        Ask.Answers = {mrOk};
        Ask.Files = {name};
        TRequestReceiving(*Context).RequestReceive();
        EXPECT_EQ(Ask.Shown, std::vector<std::string>{Texts::ReceiveInvalidFile});
        ASSERT_EQ(Ask.FileQuestions.size(), 1u);
        EXPECT_EQ(Ask.FileQuestions[0].Title, "Receber Requisição");
        EXPECT_EQ(Ask.FileQuestions[0].Filter, "Arquivos de requisição (*.CNS)|*.CNS|Todos os arquivos (*.*)|*.*");
        EXPECT_EQ(Ask.FileQuestions[0].Folder, DriveDir);
    }

    // A real response file on the medium is read and incorporated.
    WriteFile(DriveDir + "{REQ}.CNS", Response()->Text());
    Ask = ScriptedQuestions{};
    Ask.Answers = {mrOk};
    Ask.Files = {DriveDir + "{REQ}.CNS"};
    Passwords({"SENHA0"});
    EXPECT_EQ(TRequestReceiving(*Context).RequestReceive().Incorporated, 1);
    EXPECT_NE(StorageOnDisk(), sent);
}

} // namespace
