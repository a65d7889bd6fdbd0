// The entity registry and record: numbers versus positions, what reaches
// ENTITY.DAT and the storage files, relocation, and the damaged-file cases.
#include "store/AtomicFileWriter.h"
#include "store/StoreErrors.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class Registry : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppDir = Tmp.Path();
        EntityDat = AppDir + "ENTITY.DAT";
    }

    void Write(const std::string& name, const std::string& bytes)
    {
        std::ofstream out(AppDir + name, std::ios::binary);
        out << bytes;
    }
    std::string Read(const std::string& name)
    {
        std::ifstream in(AppDir + name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    bool Exists(const std::string& name) { return fs::exists(AppDir + name); }

    TUsersDataOptions NoWait()
    {
        TUsersDataOptions o;
        o.Sleep = [this](int ms) { Waits.push_back(ms); };
        return o;
    }

    testsupport::TempFolder Tmp{"quorvex-registry"};
    std::string AppDir, EntityDat;
    std::vector<int> Waits;
};

// Counts the saves; refuses them while Fail is set, as a full disk would.
struct SwitchableWriter : AtomicFileWriter {
    bool Fail = false;
    int Saves = 0;
    void WriteFile(const std::string& FileName, std::string_view Bytes) override
    {
        ++Saves;
        if (Fail)
            throw EFCreateError(FileErrors::CannotCreateFile(FileName));
        AtomicFileWriter::WriteFile(FileName, Bytes);
    }
};

class Recorder : public TUsersDataListener {
public:
    void EntityAdded(int32_t p) override { Events.push_back("+" + std::to_string(p)); }
    void EntityRemoved(int32_t p) override { Events.push_back("-" + std::to_string(p)); }
    std::vector<std::string> Events;
};

} // namespace

TEST(UserData, SettersPadAndKeyIdentityAndAssign)
{
    TUserData u;
    EXPECT_EQ(u.Index, 0);
    EXPECT_FALSE(u.Resp.has_value());
    u.SetInscricao("123");
    EXPECT_EQ(u.Inscricao(), "00000000000123");
    u.SetInscricao("");
    EXPECT_EQ(u.Inscricao(), std::string(14, '0'));
    u.SetInscricao("123456789012345");
    EXPECT_EQ(u.Inscricao(), "123456789012345");
    // Letters are never padded: an alphanumeric CNPJ is kept as it came.
    u.SetInscricao("2ABC34501DE35");
    EXPECT_EQ(u.Inscricao(), "2ABC34501DE35");
    u.SetProfile("1");
    EXPECT_EQ(u.Profile(), "01");
    u.SetProfile("96");
    EXPECT_EQ(u.Profile(), "96");
    u.SetProfile("");
    EXPECT_EQ(u.Profile(), "");
    u.SetTipoInscricao("2");
    EXPECT_EQ(u.Tipo_Inscricao(), "02");

    u.SetInscricao("123456789012");
    u.SetProfile("01");
    EXPECT_EQ(u.KeyIdentity(), "02"
                               "00123456789012"
                               "000000"
                               "01" + std::string(6, '\0'));
    EXPECT_EQ(u.KeyIdentity().size(), 30u);

    TUserData src;
    src.Bairro = "Centro";
    src.CEP = "01001000";
    src.Cidade = "Sao Paulo";
    src.Email = "a@b.c";
    src.Endereco = "Rua A, 1";
    src.SetInscricao("11222333000181");
    src.SetProfile("3");
    src.Razao = "EMPRESA";
    src.Telefone = "1133334444";
    src.SetTipoInscricao("1");
    src.UF = "SP";
    src.RespList() = {"JOSE", "52998224725"};
    src.Index = 9;
    TUserData dst;
    dst.Index = 4;
    dst.RespList() = {"MARIA", "11111111111"};
    dst.Assign(src);
    EXPECT_EQ(dst.Bairro, "Centro");
    EXPECT_EQ(dst.CEP, "01001000");
    EXPECT_EQ(dst.Cidade, "Sao Paulo");
    EXPECT_EQ(dst.Email, "a@b.c");
    EXPECT_EQ(dst.Endereco, "Rua A, 1");
    EXPECT_EQ(dst.Inscricao(), "11222333000181");
    EXPECT_EQ(dst.Profile(), "03");
    EXPECT_EQ(dst.Razao, "EMPRESA");
    EXPECT_EQ(dst.Telefone, "1133334444");
    EXPECT_EQ(dst.Tipo_Inscricao(), "01");
    EXPECT_EQ(dst.UF, "SP");
    EXPECT_EQ(dst.Index, 4);
    EXPECT_EQ(*dst.Resp, (std::vector<std::string>{"MARIA", "11111111111"}));
}

TEST_F(Registry, EmptyRegistryWritesNothingUntilTheCallerSaves)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    EXPECT_EQ(reg.Count(), 0);
    EXPECT_EQ(reg.CountAll(), 0);
    EXPECT_EQ(reg.ActiveIndex(), 0);
    EXPECT_EQ(reg.Entity(0), nullptr);
    EXPECT_EQ(reg.Storage(0), nullptr);
    EXPECT_EQ(reg.Activate(0), nullptr);
    EXPECT_FALSE(Exists("ENTITY.DAT"));

    // A storage file left over from before (a restored registry that no
    // longer lists it) may be the only copy of its keys: its number is
    // skipped and the file stays as it is.
    Write("STORAGE.1.DAT", "[Left]\r\nover=1\r\n\r\n");
    TUserData* user = reg.Add();
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(reg.Count(), 1);
    EXPECT_EQ(reg.CountAll(), 2);
    EXPECT_EQ(reg.ActiveIndex(), 0);
    EXPECT_EQ(reg.Entity(1), user);
    EXPECT_EQ(reg.Storage(1)->FileName(), AppDir + "STORAGE.2.DAT");
    EXPECT_EQ(Read("STORAGE.1.DAT"), "[Left]\r\nover=1\r\n\r\n");
    EXPECT_EQ(Read("STORAGE.2.DAT"), "");
    // The caller decides when the registration reaches the registry file.
    EXPECT_FALSE(Exists("ENTITY.DAT"));
    file.UpdateFile();
    EXPECT_EQ(Read("ENTITY.DAT"),
              "[Entity2]\r\nfilename=" + AppDir + "STORAGE.2.DAT\r\n\r\n[General]\r\nCount=1\r\nCountAll=2\r\n\r\n");
}

TEST_F(Registry, NumbersAreNeverReusedAndPositionsShift)
{
    TRequestFile file(EntityDat);
    {
        TUsersData reg(file, AppDir);
        for (int i = 1; i <= 3; ++i) {
            TUserData* u = reg.Add();
            u->Index = i;
            u->SetInscricao(std::to_string(i));
            file.WriteString("Entity" + std::to_string(i), "Inscricao", u->Inscricao());
            file.WriteInteger("Entity" + std::to_string(i), "Index", i);
            reg.Storage(i)->WriteString("General", "Mark", std::to_string(i));
            reg.Storage(i)->UpdateFile();
        }
        reg.Activate(2);
        reg.Remove(2);
        EXPECT_EQ(reg.Count(), 2);
        EXPECT_EQ(reg.CountAll(), 3);
        EXPECT_EQ(reg.ActiveIndex(), 1);
        EXPECT_EQ(reg.Entity(1)->Index, 1);
        EXPECT_EQ(reg.Entity(2)->Index, 3);
        EXPECT_EQ(reg.Storage(2)->ReadString("General", "Mark", ""), "3");
        EXPECT_FALSE(Exists("STORAGE.2.DAT"));
        EXPECT_EQ(file.ReadString("Entity2", "DELETED", ""), "1");
        // The number stays with its section; the company's data do not.
        EXPECT_EQ(file.ReadString("Entity2", "Index", ""), "2");
        EXPECT_EQ(file.ReadString("Entity2", "Inscricao", "none"), "");

        reg.Add();
        EXPECT_EQ(reg.Count(), 3);
        EXPECT_EQ(reg.CountAll(), 4);
        EXPECT_EQ(reg.Storage(3)->FileName(), AppDir + "STORAGE.4.DAT");
        EXPECT_EQ(file.ReadString("Entity4", "filename", ""), AppDir + "STORAGE.4.DAT");
        file.UpdateFile();
    }
    // A fresh start sees the same positions and skips the deleted entity.
    TRequestFile again(EntityDat);
    TUsersData reg(again, AppDir);
    EXPECT_EQ(reg.Count(), 3);
    EXPECT_EQ(reg.CountAll(), 4);
    EXPECT_EQ(reg.ActiveIndex(), 1);
    EXPECT_EQ(reg.Entity(1)->Inscricao(), "00000000000001");
    EXPECT_EQ(reg.Entity(2)->Inscricao(), "00000000000003");
    EXPECT_EQ(reg.Entity(2)->Index, 3);
    EXPECT_EQ(reg.Storage(2)->ReadString("General", "Mark", ""), "3");
    EXPECT_FALSE(Exists("STORAGE.2.DAT"));
}

TEST_F(Registry, RemovingTheActiveEntityMovesActivation)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    for (int i = 1; i <= 3; ++i)
        reg.Add();
    reg.Activate(2);
    reg.Remove(2);
    EXPECT_EQ(reg.ActiveIndex(), 1);
    reg.Add(); // positions 1..3 again
    reg.Activate(1);
    reg.Remove(1);
    EXPECT_EQ(reg.ActiveIndex(), 1);
    EXPECT_EQ(reg.Count(), 2);
    reg.Remove(1);
    reg.Activate(1);
    reg.Remove(1);
    EXPECT_EQ(reg.Count(), 0);
    EXPECT_EQ(reg.ActiveIndex(), 0);
    EXPECT_EQ(file.ReadInteger("General", "Count", -1), 0);
    EXPECT_EQ(file.ReadInteger("General", "ActiveIndex", -1), 0);
    EXPECT_EQ(file.ReadInteger("General", "CountAll", -1), 4);
    reg.Remove(0); // nothing
    EXPECT_EQ(reg.Count(), 0);
}

TEST_F(Registry, ListenerFollowsAddsAndRemovals)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    Recorder rec;
    reg.SetListener(&rec);
    reg.Add();
    reg.Add();
    reg.Activate(2);
    reg.Remove(2);
    reg.SetListener(nullptr);
    reg.Add();
    EXPECT_EQ(rec.Events, (std::vector<std::string>{"+1", "+2", "-2"}));
}

TEST_F(Registry, ActivationWritesTheKeyAndLeavesSavingToTheCaller)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    for (int i = 0; i < 3; ++i)
        reg.Add();
    reg.Entity(1)->SetInscricao("11222333000181");
    reg.Entity(2)->SetInscricao("99");
    reg.Entity(3)->SetInscricao("11222333000181");
    file.UpdateFile();
    EXPECT_EQ(reg.ActivateByInscription("11222333000181"), reg.Entity(3));
    EXPECT_EQ(reg.ActiveIndex(), 3);
    EXPECT_EQ(file.ReadInteger("General", "ActiveIndex", 0), 3);
    EXPECT_EQ(TRequestFile(EntityDat).ReadInteger("General", "ActiveIndex", 0), 0);
    EXPECT_EQ(reg.ActivateByInscription("000000000099"), nullptr);
    EXPECT_EQ(reg.ActivateByInscription("00000000000099"), reg.Entity(2));
    EXPECT_EQ(reg.ActiveIndex(), 2);
    EXPECT_FALSE(reg.IsInscriptionFree("00000000000099"));
    EXPECT_TRUE(reg.IsInscriptionFree("99"));
    EXPECT_EQ(reg.Activate(1), reg.Entity(1));
    EXPECT_EQ(file.ReadInteger("General", "ActiveIndex", 0), 1);
    try {
        reg.Entity(4);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (3)");
    }
    EXPECT_THROW(reg.Storage(4), EListError);
    EXPECT_THROW(reg.Activate(4), EListError);
    EXPECT_EQ(reg.ActiveIndex(), 1);
}

TEST_F(Registry, LoadReadsFieldsDefaultsAndResponsiblePersons)
{
    Write("ENTITY.DAT",
          "[General]\r\nCount=2\r\nCountAll=2\r\nActiveIndex=2\r\n\r\n"
          "[Entity1]\r\nfilename="
              + AppDir
              + "STORAGE.1.DAT\r\nProfile=1\r\nTipo_Inscricao=2\r\n"
                "Inscricao=123456789012\r\nRazao=ACME\r\nEndereco=Rua\r\nBairro=B\r\nCidade=C\r\nUF=SP\r\n"
                "CEP=1\r\nTelefone=2\r\nEmail=e\r\nIndex=1\r\n\r\n"
                "[Entity2]\r\nfilename="
              + AppDir + "STORAGE.2.DAT\r\n\r\n");
    Write("STORAGE.1.DAT", "junk\n[Resp]\nResp1=ANA\nCpf1=52998224725\nResp2=BIA\nCpf2=1\nRespCount=2\n");
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    ASSERT_EQ(reg.Count(), 2);
    EXPECT_EQ(reg.ActiveIndex(), 2);
    const TUserData* a = reg.Entity(1);
    EXPECT_EQ(a->Profile(), "01");
    EXPECT_EQ(a->Tipo_Inscricao(), "02");
    EXPECT_EQ(a->Inscricao(), "00123456789012");
    EXPECT_EQ(a->Razao, "ACME");
    EXPECT_EQ(a->Endereco, "Rua");
    EXPECT_EQ(a->Bairro, "B");
    EXPECT_EQ(a->Cidade, "C");
    EXPECT_EQ(a->UF, "SP");
    EXPECT_EQ(a->CEP, "1");
    EXPECT_EQ(a->Telefone, "2");
    EXPECT_EQ(a->Email, "e");
    EXPECT_EQ(a->Index, 1);
    EXPECT_EQ(*a->Resp, (std::vector<std::string>{"ANA", "52998224725", "BIA", "1"}));
    // The storage file is rewritten in the normal layout at once.
    EXPECT_EQ(Read("STORAGE.1.DAT"),
              "[Resp]\r\nResp1=ANA\r\nCpf1=52998224725\r\nResp2=BIA\r\nCpf2=1\r\nRespCount=2\r\n\r\n");

    const TUserData* b = reg.Entity(2);
    EXPECT_EQ(b->Profile(), "00");
    EXPECT_EQ(b->Tipo_Inscricao(), "00");
    EXPECT_EQ(b->Inscricao(), std::string(14, '0'));
    EXPECT_EQ(b->Razao, "0");
    EXPECT_EQ(b->Email, "0");
    EXPECT_EQ(b->Index, 0);
    ASSERT_TRUE(b->Resp.has_value());
    EXPECT_TRUE(b->Resp->empty());
    // A missing storage file is created empty.
    EXPECT_TRUE(Exists("STORAGE.2.DAT"));
    EXPECT_EQ(Read("STORAGE.2.DAT"), "");
}

TEST_F(Registry, StoredPathsFollowTheProgramFolder)
{
    const std::string before = "[General]\r\nCount=3\r\nCountAll=3\r\nActiveIndex=1\r\n\r\n"
                               "[Entity1]\r\nfilename=C:\\Programa\\Velho\\STORAGE.1.DAT\r\n\r\n"
                               "[Entity2]\r\nfilename=/old/place/STORAGE.2.DAT\r\n\r\n"
                               "[Entity3]\r\nfilename="
                               + AppDir + "STORAGE.3.DAT\r\n\r\n";
    Write("ENTITY.DAT", before);
    Write("STORAGE.1.DAT", "[General]\r\nMasterKey=x\r\n\r\n");
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    ASSERT_EQ(reg.Count(), 3);
    EXPECT_EQ(reg.Storage(1)->FileName(), AppDir + "STORAGE.1.DAT");
    EXPECT_EQ(reg.Storage(1)->ReadString("General", "MasterKey", ""), "x");
    EXPECT_EQ(reg.Storage(2)->FileName(), AppDir + "STORAGE.2.DAT");
    EXPECT_EQ(reg.Storage(3)->FileName(), AppDir + "STORAGE.3.DAT");
    TRequestFile saved(EntityDat);
    EXPECT_EQ(saved.ReadString("Entity1", "filename", ""), AppDir + "STORAGE.1.DAT");
    EXPECT_EQ(saved.ReadString("Entity2", "filename", ""), AppDir + "STORAGE.2.DAT");
    EXPECT_EQ(saved.ReadString("Entity3", "filename", ""), AppDir + "STORAGE.3.DAT");

    EXPECT_EQ(TUsersData::FilePart("a:b\\c/d"), "d");
    EXPECT_EQ(TUsersData::FilePart("C:STORAGE.9.DAT"), "STORAGE.9.DAT");
    EXPECT_EQ(TUsersData::FilePart("plain"), "plain");
}

TEST_F(Registry, DamagedCountsAreTakenFromTheLoadedEntities)
{
    // Count and ActiveIndex disagree with the live sections; a lost file
    // name and a number without a section; an absurd CountAll and RespCount.
    Write("ENTITY.DAT", "[General]\r\nCount=9\r\nCountAll=2000000000\r\nActiveIndex=7\r\n\r\n"
                        "[Entity1]\r\nfilename=\r\n\r\n"
                        "[Entity3]\r\nfilename="
                            + AppDir
                            + "STORAGE.3.DAT\r\n\r\n"
                              "[Entity4]\r\nDELETED=1\r\n\r\n");
    Write("STORAGE.3.DAT", "[Resp]\r\nRespCount=2000000000\r\nResp1=X\r\nCpf1=1\r\n\r\n");
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    EXPECT_EQ(reg.Count(), 2);
    EXPECT_EQ(reg.ActiveIndex(), 2);
    EXPECT_EQ(reg.Storage(1)->FileName(), AppDir + "STORAGE.1.DAT");
    EXPECT_EQ(reg.Entity(reg.ActiveIndex()), reg.Entity(2));
    EXPECT_LE(reg.Entity(2)->Resp->size(), 6u);
    EXPECT_EQ((*reg.Entity(2)->Resp)[0], "X");
    EXPECT_FALSE(Exists("STORAGE.2.DAT"));

    Write("ENTITY.DAT", "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=0\r\n\r\n[Entity1]\r\nfilename=" + AppDir
                            + "STORAGE.1.DAT\r\n\r\n");
    TRequestFile zero(EntityDat);
    EXPECT_EQ(TUsersData(zero, AppDir).ActiveIndex(), 1);

    // More live entities than the client opens (a restored registry may
    // hold millions of sections): the first ones by number are opened, the
    // others neither get a storage file nor lose their section.
    std::string many = "[General]\r\nCount=5\r\nCountAll=5\r\nActiveIndex=5\r\n\r\n[Entity2]\r\nDELETED=1\r\n\r\n";
    for (const int n : {5, 4, 3, 1})
        many += "[Entity" + std::to_string(n) + "]\r\nRazao=E" + std::to_string(n) + "\r\n\r\n";
    Write("ENTITY.DAT", many);
    fs::remove(AppDir + "STORAGE.3.DAT");
    TUsersDataOptions capped = NoWait();
    capped.MaxEntities = 2;
    {
        TRequestFile big(EntityDat);
        TUsersData opened(big, AppDir, capped);
        EXPECT_EQ(opened.Count(), 2);
        EXPECT_EQ(opened.EntitiesLeftOut(), 2);
        EXPECT_EQ(opened.Number(1), 1);
        EXPECT_EQ(opened.Number(2), 3);
        EXPECT_EQ(opened.ActiveIndex(), 2);
        // A new one would be the one left out at the next start.
        EXPECT_THROW(opened.Add(), EEntityLimitError);
        EXPECT_EQ(opened.Count(), 2);
        // Also once an open one is removed: the two left out come before a
        // new number at the next start, which would leave the new one out.
        opened.Activate(1);
        opened.Remove(1);
        EXPECT_THROW(opened.Add(), EEntityLimitError);
        EXPECT_EQ(opened.Count(), 1);
        big.UpdateFile();
    }
    EXPECT_TRUE(Exists("STORAGE.3.DAT"));
    EXPECT_FALSE(Exists("STORAGE.4.DAT"));
    EXPECT_FALSE(Exists("STORAGE.5.DAT"));
    EXPECT_FALSE(Exists("STORAGE.6.DAT"));
    TRequestFile after(EntityDat);
    EXPECT_FALSE(after.SectionExists("Entity6"));
    EXPECT_EQ(after.ReadString("Entity5", "Razao", ""), "E5");
    EXPECT_EQ(after.ReadString("Entity4", "Razao", ""), "E4");
    EXPECT_EQ(after.ReadString("Entity4", "DELETED", "none"), "none");
}

TEST_F(Registry, AddNeverReissuesANumberThatHasASection)
{
    // CountAll says 1, but entity 2 is registered with certificates.
    Write("ENTITY.DAT", "[General]\r\nCount=2\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n"
                        "[Entity1]\r\nfilename="
                            + AppDir
                            + "STORAGE.1.DAT\r\n\r\n"
                              "[Entity2]\r\nfilename="
                            + AppDir + "STORAGE.2.DAT\r\nRazao=HIDDEN\r\n\r\n");
    const std::string certificates = "[General]\r\nMasterKey={X}\r\n\r\n";
    Write("STORAGE.2.DAT", certificates);
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    EXPECT_EQ(reg.Count(), 1);
    reg.Add();
    EXPECT_EQ(reg.CountAll(), 3);
    EXPECT_EQ(reg.Storage(2)->FileName(), AppDir + "STORAGE.3.DAT");
    EXPECT_EQ(Read("STORAGE.2.DAT"), certificates);
    EXPECT_EQ(file.ReadString("Entity2", "Razao", ""), "HIDDEN");
    EXPECT_EQ(file.ReadInteger("General", "CountAll", 0), 3);

    // A restored registry that no longer lists the storage files after it:
    // they are the only copy of their keys, never emptied by a new entity.
    Write("STORAGE.4.DAT", certificates);
    Write("STORAGE.5.DAT", certificates);
    reg.Add();
    EXPECT_EQ(reg.CountAll(), 6);
    EXPECT_EQ(reg.Storage(3)->FileName(), AppDir + "STORAGE.6.DAT");
    EXPECT_EQ(Read("STORAGE.4.DAT"), certificates);
    EXPECT_EQ(Read("STORAGE.5.DAT"), certificates);

    for (int n = 1; n <= 6; ++n)
        fs::remove(AppDir + "STORAGE." + std::to_string(n) + ".DAT");
    Write("ENTITY.DAT", "[General]\r\nCountAll=-5\r\n\r\n");
    TRequestFile negative(EntityDat);
    TUsersData other(negative, AppDir);
    other.Add();
    EXPECT_EQ(other.CountAll(), 1);
    EXPECT_EQ(negative.ReadString("Entity1", "filename", ""), AppDir + "STORAGE.1.DAT");
}

TEST_F(Registry, RemoveMarksTheEntitysOwnNumber)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    reg.Add();
    reg.Add();
    // The new-entity action never set Index (0) on the second record.
    reg.Activate(2);
    reg.Remove(2);
    EXPECT_EQ(file.ReadString("Entity2", "DELETED", ""), "1");
    EXPECT_EQ(file.ReadString("Entity0", "DELETED", "none"), "none");
    TRequestFile again(EntityDat);
    EXPECT_EQ(TUsersData(again, AppDir).Count(), 1);
}

// The storage file holds the entity's encrypted keys: removing the entity
// overwrites it before it goes, unless another name holds it (then that
// name keeps its bytes).
TEST_F(Registry, RemovingAnEntityWipesItsStorageFileUnlessAnotherNameHoldsIt)
{
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    reg.Add();
    reg.Add();
    for (int32_t i = 1; i <= 2; ++i) {
        reg.Storage(i)->WriteString("{KEY}", "KeyFile", "0123456789ABCDEF");
        reg.Storage(i)->UpdateFile();
    }
    const std::string first = Read("STORAGE.1.DAT");
    const int firstFd = ::open((AppDir + "STORAGE.1.DAT").c_str(), O_RDONLY);
    ASSERT_GE(firstFd, 0);
    fs::create_hard_link(AppDir + "STORAGE.2.DAT", AppDir + "kept-copy");
    const std::string second = Read("STORAGE.2.DAT");

    reg.Activate(1);
    reg.Remove(1);
    EXPECT_FALSE(Exists("STORAGE.1.DAT"));
    std::string bytes(first.size(), 'x');
    EXPECT_EQ(::pread(firstFd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(first.size()));
    EXPECT_EQ(bytes, std::string(first.size(), '\0'));
    ::close(firstFd);

    reg.Remove(1);
    EXPECT_FALSE(Exists("STORAGE.2.DAT"));
    EXPECT_EQ(Read("kept-copy"), second);
}

// A removed entity keeps its section, its number and its mark, so that the
// number is never issued again; every other key is blanked in the save that
// carries the mark: the company's and its people's data leave the registry
// file, and so every later backup.
TEST_F(Registry, RemovingAnEntityBlanksEverythingButItsNumberAndMark)
{
    const std::vector<std::pair<std::string, std::string>> keys = {
        {"Profile", "01"},
        {"Tipo_Inscricao", "01"},
        {"Inscricao", "12345678000195"},
        {"Razao", "PADARIA ESTRELA"},
        {"Endereco", "RUA DAS FLORES 12"},
        {"Bairro", "CENTRO"},
        {"Cidade", "CAMPINAS"},
        {"UF", "SP"},
        {"CEP", "13010000"},
        {"Telefone", "1932345678"},
        {"Email", "contato@estrela.example"},
        // Keys another version or a hand may have left there.
        {"Resp1", "MARIA DA SILVA"},
        {"Cpf1", "52998224725"},
    };
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    reg.Add();
    reg.Add();
    for (const auto& [key, value] : keys)
        file.WriteString("Entity2", key, value);
    file.WriteInteger("Entity2", "Index", 2);
    file.UpdateFile();
    reg.Activate(2);
    reg.Remove(2);

    const std::string onDisk = Read("ENTITY.DAT");
    TRequestFile after(EntityDat);
    ASSERT_TRUE(after.SectionExists("Entity2"));
    EXPECT_EQ(after.ReadString("Entity2", "DELETED", ""), "1");
    EXPECT_EQ(after.ReadString("Entity2", "Index", ""), "2");
    EXPECT_EQ(after.ReadString("Entity2", "filename", "none"), "");
    for (const auto& [key, value] : keys) {
        EXPECT_EQ(after.ReadString("Entity2", key, "none"), "") << key;
        if (value.size() > 2) { // not a two-digit code, which other keys hold too
            EXPECT_EQ(onDisk.find(value), std::string::npos) << key;
        }
    }
    // The number is not issued again.
    TUsersData again(after, AppDir);
    again.Add();
    EXPECT_EQ(again.CountAll(), 3);
}

TEST_F(Registry, RemoveThatCannotBeSavedKeepsTheEntityRegistered)
{
    auto writer = std::make_shared<SwitchableWriter>();
    TRequestFile file(EntityDat);
    file.SetWriter(writer);
    TUsersData reg(file, AppDir);
    reg.Add();
    reg.Add();
    file.WriteString("Entity2", "Razao", "PADARIA ESTRELA");
    reg.Activate(2);
    writer->Fail = true;
    EXPECT_THROW(reg.Remove(2), EFCreateError);
    EXPECT_EQ(reg.Count(), 2);
    EXPECT_TRUE(Exists("STORAGE.2.DAT"));
    EXPECT_EQ(file.ReadString("Entity2", "DELETED", "none"), "none");
    // Nor does the entity that stays lose its data.
    EXPECT_EQ(file.ReadString("Entity2", "Razao", ""), "PADARIA ESTRELA");

    // The next save, for whatever reason, must not carry the failed removal.
    writer->Fail = false;
    reg.Activate(1);
    file.UpdateFile();
    TRequestFile again(EntityDat);
    EXPECT_EQ(TUsersData(again, AppDir).Count(), 2);
}

TEST_F(Registry, UnopenableStorageIsRetriedThenReported)
{
    Write("ENTITY.DAT", "[General]\r\nCount=1\r\nCountAll=1\r\nActiveIndex=1\r\n\r\n[Entity1]\r\nfilename=" + AppDir
                            + "STORAGE.1.DAT\r\n\r\n");
    fs::create_directory(AppDir + "STORAGE.1.DAT");
    TRequestFile file(EntityDat);
    TUsersDataOptions o = NoWait();
    o.OpenAttempts = 4;
    try {
        TUsersData reg(file, AppDir, o);
        FAIL() << "a storage file that never opens must be reported";
    } catch (const EStorageOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Não foi possível abrir o arquivo de dados " + AppDir
                                             + "STORAGE.1.DAT após 4 tentativas: Cannot open file " + AppDir
                                             + "STORAGE.1.DAT");
        EXPECT_EQ(ClassAndMessage(e).rfind("EStorageOpenError - ", 0), 0u);
    }
    EXPECT_EQ(Waits, (std::vector<int>{1000, 1000, 1000}));

    // A file that becomes readable in time is loaded.
    fs::remove(AppDir + "STORAGE.1.DAT");
    Waits.clear();
    int failures = 2;
    o.OpenStorage = [&](const std::string& name) -> std::unique_ptr<TRequestFile> {
        if (failures-- > 0)
            throw EFOpenError(FileErrors::CannotOpenFile(name));
        auto opened = std::make_unique<TRequestFile>(name);
        opened->SetStrings({"[Resp]", "RespCount=1", "Resp1=Z", "Cpf1=9"});
        return opened;
    };
    TUsersData reg(file, AppDir, o);
    EXPECT_EQ(Waits.size(), 2u);
    EXPECT_EQ(*reg.Entity(1)->Resp, (std::vector<std::string>{"Z", "9"}));
}

TEST_F(Registry, AddWithoutAStorageFileRegistersNothing)
{
    TRequestFile file(EntityDat);
    // A storage file that cannot be made (a full disk, say).
    bool refuse = true;
    TUsersDataOptions options = NoWait();
    options.OpenStorage = [&refuse](const std::string& name) {
        if (refuse)
            throw EFCreateError(FileErrors::CannotCreateFile(name));
        return std::make_unique<TRequestFile>(name);
    };
    TUsersData reg(file, AppDir, options);
    Recorder rec;
    reg.SetListener(&rec);
    EXPECT_THROW(reg.Add(), EFileError);
    EXPECT_FALSE(Exists("STORAGE.1.DAT"));
    EXPECT_EQ(reg.Count(), 0);
    EXPECT_EQ(reg.CountAll(), 0);
    EXPECT_TRUE(rec.Events.empty());
    EXPECT_FALSE(Exists("ENTITY.DAT"));
    EXPECT_THROW(reg.Entity(1), EListError);

    refuse = false;
    reg.Add();
    EXPECT_EQ(reg.Count(), 1);
    EXPECT_EQ(reg.Storage(1)->FileName(), AppDir + "STORAGE.1.DAT");
    EXPECT_EQ(rec.Events, (std::vector<std::string>{"+1"}));
}

// The record reads and writes itself: one list of keys for the registry's
// entity section and the storage file's [Request], and the [Resp] pairs.
TEST_F(Registry, RecordRoundTripsThroughTheRegistryAndStorageFiles)
{
    TUserData u;
    u.SetProfile("3");
    u.SetTipoInscricao("2");
    u.SetInscricao("123456789012");
    u.Razao = "EMPRESA \xC1GUA LTDA";
    u.Endereco = "Rua A, 1";
    u.Bairro = "Centro";
    u.Cidade = "Recife";
    u.UF = "PE";
    u.CEP = "50000000";
    u.Telefone = "8133334444";
    u.Email = "a=b@c.d";
    u.Index = 7;
    u.RespList() = {"JOSE", "52998224725", "MARIA", "11144477735"};

    auto fields = [](const TUserData& d) {
        return std::vector<std::string>{d.Profile(), d.Tipo_Inscricao(), d.Inscricao(), d.Razao,
                                        d.Endereco,  d.Bairro,           d.Cidade,      d.UF,
                                        d.CEP,       d.Telefone,         d.Email};
    };
    auto same = [&](const TUserData& a, const TUserData& b) { return fields(a) == fields(b); };

    {
        TRequestFile registry(EntityDat);
        u.WriteRegistryRecord(registry, "Entity7");
        registry.UpdateFile();
    }
    TRequestFile registry(EntityDat);
    std::vector<std::string> keys;
    registry.ReadSection("Entity7", keys);
    EXPECT_EQ(keys, (std::vector<std::string>{"Profile", "Tipo_Inscricao", "Inscricao", "Razao", "Endereco", "Bairro",
                                              "Cidade", "UF", "CEP", "Telefone", "Email", "Index"}));
    TUserData back;
    back.ReadRegistryRecord(registry, "Entity7");
    EXPECT_TRUE(same(u, back));
    EXPECT_EQ(back.Index, 7);
    // Missing keys read as "0", through the padding setters.
    TUserData missing;
    missing.ReadRegistryRecord(registry, "Entity8");
    EXPECT_EQ(missing.Profile(), "00");
    EXPECT_EQ(missing.Inscricao(), std::string(14, '0'));
    EXPECT_EQ(missing.Razao, "0");
    EXPECT_EQ(missing.Index, 0);

    const std::string storagePath = AppDir + "STORAGE.7.DAT";
    {
        TRequestFile storage(storagePath);
        u.WriteStorageRecord(storage);
    }
    TRequestFile storage(storagePath);
    EXPECT_TRUE(storage.ReadBool("General", "Request", false));
    TUserData fromStorage;
    fromStorage.ReadFields(storage, "Request", "");
    fromStorage.ReadResp(storage);
    EXPECT_TRUE(same(u, fromStorage));
    EXPECT_EQ(*fromStorage.Resp, *u.Resp);

    // Fewer persons: the section is written whole again, no old pair stays.
    u.RespList() = {"ANA", "39053344705"};
    u.WriteStorageRecord(storage);
    std::vector<std::string> lines;
    TRequestFile(storagePath).ReadSectionValues("Resp", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Resp1=ANA", "Cpf1=39053344705", "RespCount=1"}));
    // One save, once the whole record is in place: a save that fails leaves
    // memory with the persons, and the next save writes them.
    auto writer = std::make_shared<SwitchableWriter>();
    storage.SetWriter(writer);
    u.RespList() = {"ANA", "39053344705", "RUI", "52998224725"};
    u.WriteStorageRecord(storage);
    EXPECT_EQ(writer->Saves, 1);
    writer->Fail = true;
    u.RespList() = {"RUI", "52998224725"};
    EXPECT_THROW(u.WriteStorageRecord(storage), EFCreateError);
    EXPECT_EQ(writer->Saves, 2);
    lines.clear();
    storage.ReadSectionValues("Resp", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Resp1=RUI", "Cpf1=52998224725", "RespCount=1"}));
    writer->Fail = false;
    storage.UpdateFile();
    lines.clear();
    TRequestFile(storagePath).ReadSectionValues("Resp", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Resp1=RUI", "Cpf1=52998224725", "RespCount=1"}));
    storage.SetWriter(nullptr);

    // A record without a list writes no [Resp] at all.
    TUserData noList;
    noList.WriteStorageRecord(storage);
    EXPECT_FALSE(TRequestFile(storagePath).SectionExists("Resp"));
}

// A stored path is used only when it names the entity's own storage file
// directly in the data folder: at exit every storage file is saved, and
// removing an entity deletes its file, so a path reaching outside, or to
// another file of the folder (in an unpacked copy: the client, reinit and
// the kit beside the data), would overwrite or delete that file, and one
// naming another entity's file would make two entities share their keys.
TEST_F(Registry, StoragePathsOutsideTheDataFolderAreNeverUsed)
{
    const std::string data = AppDir + "data/";
    fs::create_directories(data + "sub");
    Write("x", "outside");
    Write("data/keep.dat", "[General]\r\nMasterKey=k\r\n\r\n");
    Write("data/reinit", "#!/bin/sh\nexec ./quorvex\n");
    Write("data/STORAGE.10.DAT", "[General]\r\nMasterKey=k10\r\n\r\n");
    Write("data/storage.11.dat", "[General]\r\nMasterKey=k11\r\n\r\n");
    Write("data/STORAGE.40.DAT", "[General]\r\nMasterKey=k40\r\n\r\n");
    struct Row {
        std::string stored, used;
    };
    const std::vector<Row> rows = {
        {data + "../x", "STORAGE.1.DAT"},              // outside, through the folder's own text
        {data + "ENTITY.DAT", "STORAGE.2.DAT"},        // the registry itself
        {data + "sub/STORAGE.3.DAT", "STORAGE.3.DAT"}, // a folder inside
        {data + "../x", "STORAGE.4.DAT"},              // the same outside file again
        {data + ".hidden", "STORAGE.5.DAT"},           // a name of the program's temporaries
        {data + "keep.dat", "STORAGE.6.DAT"},          // a file inside that is no storage file
        {data + "keep.dat", "STORAGE.7.DAT"},          // the same again
        {data + "reinit", "STORAGE.8.DAT"},            // the program's own file in an unpacked copy
        {data + "STORAGE.10.DAT", "STORAGE.9.DAT"},    // the file of entity 10, registered too
        {data + "STORAGE.10.DAT", "STORAGE.10.DAT"},   // its own: used as it is
        {data + "storage.11.dat", "storage.11.dat"},   // its own in another letter case
        {data + "STORAGE.40.DAT", "STORAGE.12.DAT"},   // a number not issued yet (see Add below)
    };
    std::string registryText = "[General]\r\nCount=12\r\nCountAll=39\r\nActiveIndex=1\r\n\r\n";
    for (std::size_t i = 0; i < rows.size(); ++i)
        registryText += "[Entity" + std::to_string(i + 1) + "]\r\nfilename=" + rows[i].stored + "\r\n\r\n";
    Write("data/ENTITY.DAT", registryText);

    TRequestFile file(data + "ENTITY.DAT");
    TUsersData reg(file, data);
    ASSERT_EQ(reg.Count(), 12);
    for (int32_t i = 1; i <= 12; ++i) {
        SCOPED_TRACE(i);
        const std::string& used = rows[std::size_t(i - 1)].used;
        EXPECT_EQ(reg.Storage(i)->FileName(), data + used);
        EXPECT_EQ(TRequestFile(data + "ENTITY.DAT").ReadString("Entity" + std::to_string(i), "filename", ""),
                  data + used);
    }
    EXPECT_EQ(reg.Storage(6)->ReadString("General", "MasterKey", ""), "");
    EXPECT_EQ(reg.Storage(9)->ReadString("General", "MasterKey", ""), "");
    EXPECT_EQ(reg.Storage(10)->ReadString("General", "MasterKey", ""), "k10");
    EXPECT_EQ(reg.Storage(11)->ReadString("General", "MasterKey", ""), "k11");
    // The next number, 40, has a file on disk that no entity lists: it may
    // be the only copy of its keys, so the new entity takes 41.
    reg.Add();
    EXPECT_EQ(reg.Storage(13)->FileName(), data + "STORAGE.41.DAT");
    EXPECT_EQ(Read("data/STORAGE.40.DAT"), "[General]\r\nMasterKey=k40\r\n\r\n");
    EXPECT_NE(reg.Storage(12)->FileName(), reg.Storage(13)->FileName());
    reg.Remove(9);
    reg.Remove(8);
    reg.Remove(6);
    reg.Remove(4);
    reg.Remove(1);
    EXPECT_EQ(Read("x"), "outside");
    EXPECT_FALSE(fs::exists(data + "sub/STORAGE.3.DAT"));
    EXPECT_EQ(Read("data/keep.dat"), "[General]\r\nMasterKey=k\r\n\r\n");
    EXPECT_EQ(Read("data/reinit"), "#!/bin/sh\nexec ./quorvex\n");
    EXPECT_EQ(Read("data/STORAGE.10.DAT"), "[General]\r\nMasterKey=k10\r\n\r\n");
}

// A damaged registry or storage file is set aside while the registry is
// built, and the registry lists what was set aside where.
TEST_F(Registry, DamagedFilesAreSetAsideAtLoadAndListed)
{
    const std::string registryText =
        "[General]\r\nCount=2\r\nCountAll=2\r\nActiveIndex=1\r\n\r\n[Entity1]\r\nfilename=" + AppDir
        + "STORAGE.1.DAT\r\n\r\n[Entity2]\r\nfilename=" + AppDir + "STORAGE.2.DAT\r\nRazao=B\0\r\n"s;
    const std::string storageText = "[General]\r\nMasterKey=m\r\n\0[m]\r\nKeyFile=AB\r\n"s;
    Write("ENTITY.DAT", registryText);
    Write("STORAGE.1.DAT", storageText);
    Write("STORAGE.2.DAT", "[General]\r\n\r\n");
    {
        TRequestFile file(EntityDat);
        TUsersData reg(file, AppDir);
        const std::vector<TDamagedFile> damaged = reg.DamagedFiles();
        ASSERT_EQ(damaged.size(), 2u);
        EXPECT_EQ(damaged[0].File, EntityDat);
        EXPECT_EQ(damaged[1].File, AppDir + "STORAGE.1.DAT");
        EXPECT_EQ(Read(damaged[0].Copy.substr(AppDir.size())), registryText);
        EXPECT_EQ(Read(damaged[1].Copy.substr(AppDir.size())), storageText);
        EXPECT_EQ(damaged[1].Copy.rfind(AppDir + "STORAGE.1.DAT.danificado-", 0), 0u);
        EXPECT_EQ(reg.Entity(2)->Razao, "B");
    }
    // Told once: the saved files are whole again.
    TRequestFile file(EntityDat);
    TUsersData reg(file, AppDir);
    EXPECT_TRUE(reg.DamagedFiles().empty());
}
