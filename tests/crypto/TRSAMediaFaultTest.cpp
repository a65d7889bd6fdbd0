// The medium against a kit that fails on demand: every exception class with
// its exact message and code, the guard order, and the state the medium is
// left in.
#include "FaultKitControl.h"
#include "crypto/FormatHex.h"
#include "crypto/TRSAMedia.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct Raised {
    std::string ClassName;
    std::string Message;
};

Raised Catch(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return {e.ClassName(), e.what()};
    } catch (const std::exception& e) {
        return {"std", e.what()};
    }
    return {"none", ""};
}

#define EXPECT_RAISES(statement, cls, message)                                                                         \
    do {                                                                                                               \
        const Raised raised = Catch([&] { statement; });                                                               \
        EXPECT_EQ(raised.ClassName, cls);                                                                              \
        EXPECT_EQ(raised.Message, message);                                                                            \
    } while (0)

TUserData Entity()
{
    TUserData user;
    user.SetTipoInscricao("1");
    user.SetInscricao("11222333000181");
    user.SetProfile("1");
    user.Razao = "Padaria P\xE3o Quente Ltda"; // Windows-1252, as the data files hold it
    return user;
}

const std::string KeyFile = "/nonexistent/{00000000-0000-4000-8000-000000000000}.PRI";

class MediumFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Kit = new KitLibraries(CRYPTO_FAULT_KIT_DIR); }
    static void TearDownTestSuite()
    {
        delete Kit;
        Kit = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(Kit->Loaded());
        Control = std::make_unique<FaultKitControl>(*Kit);
    }

    static KitLibraries* Kit;
    std::unique_ptr<FaultKitControl> Control;
};
KitLibraries* MediumFaults::Kit = nullptr;

TEST_F(MediumFaults, OpenAndClose)
{
    TRSAMedia media(*Kit, KeyFile);
    EXPECT_FALSE(media.IsOpen());
    EXPECT_EQ(media.Handle(), -1);
    EXPECT_RAISES(media.Close(), "ERSAMediaNotOpened", "A mídia do certificado eletrônico não foi aberta!");

    Control->Fail("hl_on", 40966);
    EXPECT_RAISES(media.Open(), "ERSAMediaOn",
                  "Ocorreu um erro na conexão com a mídia do certificado eletrônico.(40966)");
    // The kit wrote a handle while failing; the medium did not take it.
    EXPECT_FALSE(media.IsOpen());

    Control->Fail("hl_on", 0);
    media.Open();
    EXPECT_TRUE(media.IsOpen());
    EXPECT_EQ(media.Handle(), 5);

    Control->Fail("hl_off", 40963);
    EXPECT_RAISES(media.Close(), "ERSAMediaOff",
                  "Ocorreu um erro na desconexão com a mídia do certificado eletrônico.");
    EXPECT_TRUE(media.IsOpen()) << "a failed close does not close";
    EXPECT_EQ(media.Handle(), 5);
    Control->Fail("hl_off", 0);
    media.Close();
    EXPECT_FALSE(media.IsOpen());
}

TEST_F(MediumFaults, DestroyClosesAnOpenMediumAndSwallowsAFailingClose)
{
    {
        TRSAMedia media(*Kit, KeyFile);
        media.Open();
        Control->ClearLog();
    }
    EXPECT_EQ(Control->Log(), "hl_off(5);");
    {
        TRSAMedia media(*Kit, KeyFile);
        media.Open();
        Control->Fail("hl_off", 1);
    }
    SUCCEED() << "no exception escaped the destructor";
}

TEST_F(MediumFaults, GenerateWritesTheInfoBlockAndClosesBeforeLookingAtTheResult)
{
    TRSAMedia media(*Kit, KeyFile);
    media.GenerateFor("SENHA123", Entity());
    EXPECT_EQ(Control->Log(), "hl_on(2);hl_format(5);hl_generate(5);hl_off(5);");
    EXPECT_FALSE(media.IsOpen());

    const std::string info = Control->Info();
    EXPECT_EQ(info.substr(0, 32), std::string("011122233300018100000001") + std::string(8, '\0'));
    EXPECT_EQ(info.substr(32, 40), "Padaria P\xE3o Quente Ltda" + std::string(17, '\0'))
        << "the company name's bytes as given";
    EXPECT_EQ(info.substr(72, 4), std::string("\x80\0\0\0", 4));
    EXPECT_EQ(info.substr(76), std::string(24, '\0'));
    EXPECT_EQ(Control->Text("notice"),
              "Atencao: este certificado eletr\xF4nico foi emitido pela Orvanta e tem seu uso regulado por "
              "contrato especifico.");
    EXPECT_EQ(Control->Text("password"), "SENHA123");
    EXPECT_EQ(Control->Text("passwordAgain"), "SENHA123");

    Control->Reset();
    Control->Fail("hl_format", 40969);
    EXPECT_RAISES(media.Generate("SENHA123"), "ERSAMediaFormat",
                  "Ocorreu um erro na formatação da mídia do certificado eletrônico.(40969)");
    EXPECT_EQ(Control->Log(), "hl_on(2);hl_format(5);hl_off(5);");
    EXPECT_FALSE(media.IsOpen());

    Control->Reset();
    Control->Fail("hl_generate", 40973);
    EXPECT_RAISES(media.Generate("SENHA123"), "ERSAMediaCreation",
                  "Ocorreu um erro na criação da mídia do certificado eletrônico.(40973)");
    EXPECT_EQ(Control->Log(), "hl_on(2);hl_format(5);hl_generate(5);hl_off(5);");
    EXPECT_FALSE(media.IsOpen());

    Control->Reset();
    Control->Fail("hl_on", 40966);
    EXPECT_RAISES(media.Generate("SENHA123"), "ERSAMediaOn",
                  "Ocorreu um erro na conexão com a mídia do certificado eletrônico.(40966)");
    EXPECT_EQ(Control->Log(), "hl_on(2);");
}

TEST_F(MediumFaults, GenerateWithoutCompanyNameNeverOpens)
{
    TRSAMedia media(*Kit, KeyFile);
    TUserData user = Entity();
    user.Razao.clear();
    EXPECT_RAISES(media.GenerateFor("SENHA123", user), "ERSAUser",
                  "É necessário definir um usuário para o certificado antes de gerá-lo!");
    EXPECT_EQ(Control->Log(), "");
    EXPECT_FALSE(media.IsOpen());
}

TEST_F(MediumFaults, OverlongNamesAreCutToTheirFields)
{
    TRSAMedia media(*Kit, KeyFile);
    TUserData user = Entity();
    user.Razao = std::string(60, 'R');
    user.SetProfile(std::string(30, '9'));
    media.GenerateFor("SENHA123", user);
    const std::string info = Control->Info();
    EXPECT_EQ(info.substr(32, 40), std::string(39, 'R') + '\0') << "stays NUL-terminated";
    EXPECT_EQ(info.substr(72, 4), std::string("\x80\0\0\0", 4)) << "the size field is not overwritten";
}

TEST_F(MediumFaults, ReadsNeedAnOpenMediumAndCarryTheCode)
{
    TRSAMedia media(*Kit, KeyFile);
    std::string key, info;
    EXPECT_RAISES(media.GetPublicKey(key), "ERSAMediaNotOpened", "A mídia do certificado eletrônico não foi aberta!");
    EXPECT_RAISES(media.GetUserInfo(info), "ERSAMediaNotOpened", "A mídia do certificado eletrônico não foi aberta!");
    EXPECT_EQ(Control->Log(), "");

    media.Open();
    media.GetPublicKey(key);
    ASSERT_EQ(key.size(), 140u);
    EXPECT_EQ(key[0], '\0');
    EXPECT_EQ(key[139], static_cast<char>(139));
    media.GetUserInfo(info);
    EXPECT_EQ(info, std::string(100, '\0')) << "all 100 bytes, NULs included";

    Control->Fail("hl_get_public_key", 40972);
    key = "unchanged";
    EXPECT_RAISES(media.GetPublicKey(key), "ERSAMediaAccess",
                  "Ocorreu um erro no acesso à mídia do certificado eletrônico.(40972)");
    EXPECT_EQ(key, "unchanged");
    Control->Fail("hl_get_user_data", 40967);
    EXPECT_RAISES(media.GetUserInfo(info), "ERSAMediaAccess",
                  "Ocorreu um erro no acesso à mídia do certificado eletrônico.(40967)");
    EXPECT_TRUE(media.IsOpen());
}

TEST_F(MediumFaults, ChangePasswordFalseOnlyForWrongPassword)
{
    TRSAMedia media(*Kit, KeyFile);
    EXPECT_RAISES(media.ChangePassword("A", "B"), "ERSAMediaNotOpened",
                  "A mídia do certificado eletrônico não foi aberta!");
    media.Open();
    EXPECT_TRUE(media.ChangePassword("VELHA123", "NOVA1234"));
    EXPECT_EQ(Control->Text("password"), "VELHA123");
    EXPECT_EQ(Control->Text("newPassword"), "NOVA1234");
    Control->Fail("hl_change_password", 40979);
    EXPECT_FALSE(media.ChangePassword("ERRADA12", "NOVA1234"));
    Control->Fail("hl_change_password", 40978);
    EXPECT_RAISES(media.ChangePassword("VELHA123", "NOVA1234"), "ERSAChangeKey",
                  "Ocorreu um erro interno ao trocar a senha de acesso ao certificado eletrônico.(40978)");
    EXPECT_TRUE(media.IsOpen()) << "the medium stays open in every case";
}

class PutCertificateFaults : public MediumFaults {
protected:
    const std::string Identifier = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string Certificate = std::string(192, '\x5A');
    std::string CertificateHex = StringToHex(Certificate);
};

TEST_F(PutCertificateFaults, StoresIdentifierAndCertificate)
{
    TRSAMedia media(*Kit, KeyFile);
    media.GenerateFor("SENHA123", Entity());
    const std::string before = Control->Info();

    media.PutCertificate("SENHA123", Identifier, CertificateHex + "7");
    EXPECT_NE(
        Control->Log().find("hl_on(2);hl_get_user_data(5);hl_update_user_data(5);hl_put_certificate(5);hl_off(5);"),
        std::string::npos)
        << Control->Log();
    const std::string after = Control->Info();
    EXPECT_EQ(after.substr(0, 26), Identifier);
    EXPECT_EQ(after.substr(26), before.substr(26));
    EXPECT_EQ(Control->Certificate(), Certificate);
    EXPECT_EQ(Control->Text("password"), "SENHA123");
    EXPECT_FALSE(media.IsOpen());
}

TEST_F(PutCertificateFaults, BadArgumentsAreRefusedBeforeAnyKitCall)
{
    TRSAMedia media(*Kit, KeyFile);
    for (const std::string& id : {Identifier.substr(0, 25), Identifier + "A", std::string()}) {
        EXPECT_RAISES(media.PutCertificate("SENHA123", id, CertificateHex), "ERSAInvalidArgument",
                      "Argumento inválido para a função PutCertificate.");
    }
    for (const std::string& hex : {CertificateHex.substr(0, 382), CertificateHex + "00", std::string()}) {
        EXPECT_RAISES(media.PutCertificate("SENHA123", Identifier, hex), "ERSAInvalidArgument",
                      "Argumento inválido para a função PutCertificate.");
    }
    EXPECT_EQ(Control->Log(), "");
    EXPECT_FALSE(media.IsOpen());
}

TEST_F(PutCertificateFaults, EveryFailureHasItsSpacedCode)
{
    TRSAMedia media(*Kit, KeyFile);
    Control->Fail("hl_get_user_data", 40967);
    EXPECT_RAISES(
        media.PutCertificate("SENHA123", Identifier, CertificateHex), "ERSAUpdateId",
        "Ocorreu um erro interno ao ler as informações sobre o identificador do certificado eletrônico. (40967)");
    EXPECT_FALSE(media.IsOpen());
    EXPECT_EQ(Control->Log(), "hl_on(2);hl_get_user_data(5);hl_off(5);");

    Control->Reset();
    Control->Fail("hl_update_user_data", 40968);
    EXPECT_RAISES(media.PutCertificate("SENHA123", Identifier, CertificateHex), "ERSAUpdateId",
                  "Ocorreu um erro interno ao atualizar o identificador do certificado eletrônico. (40968)");
    EXPECT_FALSE(media.IsOpen());

    Control->Reset();
    Control->Fail("hl_put_certificate", 40968);
    EXPECT_RAISES(media.PutCertificate("SENHA123", Identifier, CertificateHex), "ERSAPutCertificate",
                  "Ocorreu um erro interno ao incorporar o certificado assinado à mídia. (40968)");
    EXPECT_FALSE(media.IsOpen());
    EXPECT_EQ(Control->Log(), "hl_on(2);hl_get_user_data(5);hl_update_user_data(5);hl_put_certificate(5);hl_off(5);");

    // A certificate issued for another key has a message of its own.
    Control->Reset();
    Control->Fail("hl_put_certificate", 40980);
    EXPECT_RAISES(media.PutCertificate("SENHA123", Identifier, CertificateHex), "ERSAPutCertificate",
                  "O certificado assinado não foi emitido para a chave deste certificado eletrônico. "
                  "É provável que o arquivo de requisição esteja incorreto. (40980)");
    EXPECT_FALSE(media.IsOpen());

    Control->Reset();
    Control->Fail("hl_on", 40966);
    EXPECT_RAISES(media.PutCertificate("SENHA123", Identifier, CertificateHex), "ERSAMediaOn",
                  "Ocorreu um erro na conexão com a mídia do certificado eletrônico.(40966)");
}

TEST_F(PutCertificateFaults, WrongPasswordIsAPlainExceptionAndLeavesTheMediumOpen)
{
    TRSAMedia media(*Kit, KeyFile);
    Control->Fail("hl_update_user_data", 40979);
    EXPECT_RAISES(media.PutCertificate("ERRADA12", Identifier, CertificateHex), "Exception",
                  "Senha incorreta, favor repetir o processo de recebimento. (40979)");
    EXPECT_TRUE(media.IsOpen());
    EXPECT_EQ(Control->Log().find("hl_put_certificate"), std::string::npos);
}

TEST_F(MediumFaults, SignHashesIn512ByteBlocksAndCarriesTheCode)
{
    TRSAMedia media(*Kit, KeyFile);
    std::string signature;
    EXPECT_RAISES(media.SignString("SENHA123", "x", signature), "ERSAMediaNotOpened",
                  "A mídia do certificado eletrônico não foi aberta!");
    media.Open();
    Control->ClearLog();
    media.SignString("SENHA123", std::string(1024, 'a'), signature);
    EXPECT_EQ(Control->Log(), "hl_get_hash_alg_details(5,1,80);hl_init_hash(5,1);hl_cont_hash(512);hl_cont_hash(512);"
                              "hl_cont_hash(0);hl_end_hash;hl_change_def_int_param(5,6,0);hl_sign(5,16,1);");
    ASSERT_EQ(signature.size(), 128u);
    EXPECT_EQ(Control->Text("password"), "SENHA123");

    std::istringstream data(std::string(700, 'b'));
    data.seekg(300);
    Control->ClearLog();
    auto stream = media.SignStream("SENHA123", data);
    EXPECT_NE(Control->Log().find("hl_cont_hash(512);hl_cont_hash(188);hl_end_hash;"), std::string::npos)
        << "the whole content, from the start: " << Control->Log();
    EXPECT_EQ(stream->str().size(), 128u);
    EXPECT_EQ(stream->tellg(), 128) << "positioned at its end";

    Control->Fail("hl_sign", 40973);
    EXPECT_RAISES(media.SignString("SENHA123", "x", signature), "ERSASign",
                  "Ocorreu um erro ao assinar o buffer.(40973)");
    EXPECT_TRUE(media.IsOpen());
}

// Seeks fine, fails on reading.
class MediumFailingBuf : public std::streambuf {
protected:
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override { return 0; }
    pos_type seekpos(pos_type, std::ios_base::openmode) override { return 0; }
    int_type underflow() override { throw std::runtime_error("read failed"); }
};

TEST_F(MediumFaults, HashingFailuresBecomeMemoryOrSignErrors)
{
    TRSAMedia media(*Kit, KeyFile);
    media.Open();
    Control->ContextSize(0);
    std::string signature;
    EXPECT_RAISES(media.SignString("SENHA123", "x", signature), "ERSAMemoryAlloc",
                  "EAllocationError: Invalid memory size!");
    Control->ContextSize(-8);
    EXPECT_RAISES(media.SignString("SENHA123", "x", signature), "ERSAMemoryAlloc",
                  "EAllocationError: Invalid memory size!");
    EXPECT_EQ(Control->Log().find("hl_init_hash"), std::string::npos);

    Control->ContextSize(64);
    MediumFailingBuf buf;
    std::istream broken(&buf);
    broken.exceptions(std::ios::badbit);
    const Raised raised = Catch([&] { media.SignStream("SENHA123", broken); });
    EXPECT_EQ(raised.ClassName, "ERSASign");
    EXPECT_EQ(raised.Message, "Exception: read failed");
}

TEST_F(MediumFaults, HashStringUsesItsOwnHandleAndEndsWithAnEmptyBlockOnMultiplesOf512)
{
    Control->ClearLog();
    const std::string empty = [] {
        std::string d;
        HashString(*MediumFaults::Kit, "", d);
        return d;
    }();
    EXPECT_EQ(
        Control->Log(),
        "hl_on(100,null);hl_get_hash_alg_details(9,1,80);hl_init_hash(9,1);hl_cont_hash(0);hl_end_hash;hl_off(9);");
    ASSERT_EQ(empty.size(), 32u);
    EXPECT_EQ(empty.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    Control->ClearLog();
    std::string digest;
    HashString(*Kit, std::string(512, 'z'), digest);
    EXPECT_NE(Control->Log().find("hl_cont_hash(512);hl_cont_hash(0);hl_end_hash"), std::string::npos);
    Control->ClearLog();
    HashString(*Kit, std::string(513, 'z'), digest);
    EXPECT_NE(Control->Log().find("hl_cont_hash(512);hl_cont_hash(1);hl_end_hash"), std::string::npos);
    EXPECT_EQ(Control->Log().find("uninitialised"), std::string::npos);

    // A failing hash still closes the handle before the failure is raised.
    Control->ContextSize(0);
    EXPECT_RAISES(HashString(*Kit, "abc", digest), "ERSAMemoryAlloc", "EAllocationError: Invalid memory size!");
    EXPECT_NE(Control->Log().find("hl_off(9);"), std::string::npos);
}

// Every kit call of hashing and signing is answered: a digest the kit did
// not finish is never handed out (fingerprints of zeros would agree with each
// other), and the failure carries the kit's code.
TEST_F(MediumFaults, EveryFailingHashOrSignCallIsRaisedWithItsCode)
{
    const std::string hashFailed = "Ocorreu um erro ao calcular o resumo criptográfico dos dados.";
    struct Case {
        const char* function;
        int32_t code;
        bool hashing; // HashString calls it too
        const char* cls;
        std::string message;
    } cases[] = {
        {"hl_get_hash_alg_details", 40964, true, "ERSASign", hashFailed + "(40964)"},
        {"hl_init_hash", 40963, true, "ERSASign", hashFailed + "(40963)"},
        {"hl_cont_hash", 40977, true, "ERSASign", hashFailed + "(40977)"},
        {"hl_end_hash", 40977, true, "ERSASign", hashFailed + "(40977)"},
        {"hl_change_def_int_param", 40964, false, "ERSASign", "Ocorreu um erro ao assinar o buffer.(40964)"},
    };
    TRSAMedia media(*Kit, KeyFile);
    media.Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        Control->Reset();
        Control->Fail(c.function, c.code);
        std::string signature = "before";
        EXPECT_RAISES(media.SignString("SENHA123", std::string(600, 'a'), signature), c.cls, c.message);
        EXPECT_EQ(signature, "before");
        EXPECT_EQ(Control->Log().find("hl_sign"), std::string::npos) << "nothing is signed";
        EXPECT_TRUE(media.IsOpen());
        if (!c.hashing)
            continue;
        std::string digest = "before";
        EXPECT_RAISES(HashString(*Kit, "abc", digest), c.cls, c.message);
        EXPECT_EQ(digest, "before");
        EXPECT_EQ(Control->Log().substr(Control->Log().size() - 10), "hl_off(9);") << "the handle is closed";
    }

    // HashString's own handle: one that does not open is never closed, one
    // that does not close is a failure.
    std::string digest = "before";
    Control->Reset();
    Control->Fail("hl_on", 40976);
    EXPECT_RAISES(HashString(*Kit, "abc", digest), "ERSAMediaOn",
                  "Ocorreu um erro na conexão com a mídia do certificado eletrônico.(40976)");
    EXPECT_EQ(Control->Log(), "hl_on(100,null);");
    Control->Reset();
    Control->Fail("hl_off", 40963);
    EXPECT_RAISES(HashString(*Kit, "abc", digest), "ERSAMediaOff",
                  "Ocorreu um erro na desconexão com a mídia do certificado eletrônico.");
    EXPECT_EQ(digest, "before");
}

TEST_F(MediumFaults, GatherSeedFillsZeroesAndReportsTheSeedLibrary)
{
    TRSAMedia media(*Kit, KeyFile);
    int window = 0;
    struct : SeedOwner {
        int* window = nullptr;
        void* KitWindow() const override { return window; }
    } owner;
    owner.window = &window;
    std::string seed;
    media.GatherSeed(seed, &owner);
    ASSERT_EQ(seed.size(), 128u);
    EXPECT_EQ(seed[0], 1);
    EXPECT_EQ(static_cast<unsigned char>(seed[127]), 128);
    EXPECT_EQ(Control->SeedOwner(), &window);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(media.Seed().data()), 128), seed);

    // The seed goes to the kit as it was gathered.
    media.GenerateFor("SENHA123", Entity());
    EXPECT_EQ(Control->Seed(), seed);

    // A cancelled dialog leaves zeros: the earlier seed does not survive.
    Control->SeedResult(HL_SEED_CANCELLED);
    media.GatherSeed(seed);
    EXPECT_EQ(seed, std::string(128, '\0'));

    Control->SeedResult(0);
    seed = "kept";
    EXPECT_RAISES(media.GatherSeed(seed), "ERSARandomSeed", "Ocorreu um erro interno no módulo libquorvexseed.so.(0)");
    EXPECT_EQ(seed, "kept");
    Control->SeedResult(-3);
    EXPECT_RAISES(media.GatherSeed(seed), "ERSARandomSeed", "Ocorreu um erro interno no módulo libquorvexseed.so.(-3)");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(media.Seed().data()), 128), std::string(128, '\0'));
}

TEST(MediumLoading, EmptyFolderFailsEveryOperationWithDllLoadFail)
{
    const testsupport::TempFolder tmp("emptykit");
    const fs::path dir = tmp.Path();
    {
        KitLibraries kit(dir.string());
        EXPECT_FALSE(kit.Loaded());
        TRSAMedia media(kit, KeyFile);
        const char* message = "Ocorreu um erro na carga de uma das DLLs da aplicação.";
        std::string out;
        EXPECT_RAISES(media.Open(), "EDLLLoadFail", message);
        EXPECT_RAISES(media.Close(), "EDLLLoadFail", message);
        EXPECT_RAISES(media.GatherSeed(out), "EDLLLoadFail", message);
        EXPECT_RAISES(media.GenerateFor("SENHA123", Entity()), "EDLLLoadFail", message);
        EXPECT_RAISES(media.GetPublicKey(out), "EDLLLoadFail", message);
        EXPECT_RAISES(media.GetUserInfo(out), "EDLLLoadFail", message);
        EXPECT_RAISES(media.ChangePassword("A", "B"), "EDLLLoadFail", message);
        EXPECT_RAISES(media.PutCertificate("A", "B", "C"), "EDLLLoadFail", message);
        EXPECT_RAISES(media.SignString("A", "B", out), "EDLLLoadFail", message);
        EXPECT_RAISES(HashString(kit, "abc", out), "EDLLLoadFail", message);
    }
}

TEST(MediumLoading, OneLibraryAloneIsNotALoadedKit)
{
    const testsupport::TempFolder tmp("halfkit");
    const fs::path dir = tmp.Path();
    fs::copy_file(std::string(CRYPTO_FAULT_KIT_DIR) + HL_KIT_LIBRARY_NAME, dir / HL_KIT_LIBRARY_NAME);
    {
        KitLibraries kit(dir.string());
        EXPECT_FALSE(kit.Loaded());
        std::string out;
        EXPECT_RAISES(HashString(kit, "abc", out), "EDLLLoadFail",
                      "Ocorreu um erro na carga de uma das DLLs da aplicação.");
    }
}

TEST(MediumLoading, MissingFunctionFailsOnlyTheOperationsThatNeedIt)
{
    KitLibraries kit(CRYPTO_PARTIAL_KIT_DIR);
    ASSERT_TRUE(kit.Loaded());
    FaultKitControl control(kit);
    TRSAMedia media(kit, KeyFile);
    media.Open();
    std::string out;
    control.ClearLog();
    EXPECT_RAISES(media.SignString("SENHA123", "data", out), "EFunctionLoadFail",
                  "Ocorreu um erro interno no acesso a uma das DLLs da aplicação.");
    EXPECT_EQ(control.Log(), "") << "nothing is called when a needed function is missing";
    media.GetUserInfo(out);
    EXPECT_EQ(out.size(), 100u);
    HashString(kit, "abc", out);
    EXPECT_EQ(out.size(), 32u);
    media.Close();
}

TEST(SameKeyOwner, ComparesTheCompanyNameBytesOfEveryBlock)
{
    std::string first(100, '\0');
    first.replace(32, 8, "EMPRESA1");
    std::string second = first;
    second.replace(0, 26, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"); // identifiers differ
    second[70] = 'x';                                    // outside bytes 32-63
    const std::string a = StringToHex(first), b = StringToHex(second);

    EXPECT_TRUE(SameKeyOwner({a, b}));
    EXPECT_TRUE(SameKeyOwner({a, b, a}));
    EXPECT_FALSE(SameKeyOwner({a}));
    EXPECT_FALSE(SameKeyOwner({}));
    EXPECT_FALSE(SameKeyOwner({a, b.substr(0, 198)}));
    EXPECT_FALSE(SameKeyOwner({a, b + "00"}));
    EXPECT_TRUE(SameKeyOwner({a, b + "0"})) << "a trailing odd digit is ignored";
    std::string third = first;
    third[63] = 'Q';
    EXPECT_FALSE(SameKeyOwner({a, b, StringToHex(third)}));
    third = first;
    third[32] = 'Q';
    EXPECT_FALSE(SameKeyOwner({a, StringToHex(third)}));
}

TEST(DefaultKeyFileName, IsAGuidInRegistryFormInTheFolder)
{
    const std::string name = TRSAMedia::DefaultFileName("/app");
    ASSERT_EQ(name.size(), 5u + 38u + 4u) << name;
    EXPECT_EQ(name.substr(0, 5), "/app/");
    EXPECT_EQ(name.substr(43), ".PRI");
    const std::string guid = name.substr(5, 38);
    EXPECT_EQ(guid.front(), '{');
    EXPECT_EQ(guid.back(), '}');
    for (std::size_t i = 1; i < 37; ++i) {
        if (i == 9 || i == 14 || i == 19 || i == 24)
            EXPECT_EQ(guid[i], '-') << guid;
        else
            EXPECT_NE(std::string("0123456789ABCDEF").find(guid[i]), std::string::npos) << guid;
    }
    EXPECT_NE(TRSAMedia::DefaultFileName("/app"), name);
}

} // namespace
