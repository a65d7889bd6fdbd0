// The registration rules without the form: which problem comes first, how
// the identifier is completed and checked, one identifier per entity, and
// the record written from accepted fields.
#include "store/EntityRegistration.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using P = TRegistrationProblem;
using Problems = std::vector<TRegistrationProblem>;

const std::string ValidCNPJ = "11222333000181";
const std::string OtherValidCNPJ = "09876543000141";
const std::string ValidCEI = "109876543219";

TRegistrationFields Complete(const std::string& Id = ValidCNPJ, int Type = EntityRegistration::TypeCNPJ)
{
    TRegistrationFields f;
    f.ProfilePosition = 0;
    f.TypePosition = Type;
    f.Id = Id;
    f.Name = "LOJA";
    f.Phone = "84";
    f.Address = "RUA A";
    f.City = "NATAL";
    f.Zip = "59000000";
    f.State = "RN";
    f.Persons = {{"ANA", "12345678909"}};
    return f;
}

} // namespace

TEST(EntityRegistration, TheFirstMissingFieldComesAloneThenTheIdentifiersProblems)
{
    struct Row {
        const char* what;
        std::function<void(TRegistrationFields&)> change;
        Problems expected;
    };
    const Row rows[] = {
        {"complete", [](TRegistrationFields&) {}, {}},
        {"everything empty: the address page first", [](TRegistrationFields& f) { f = {}; }, {P::AddressMissing}},
        {"no state", [](TRegistrationFields& f) { f.State.clear(); }, {P::AddressMissing}},
        {"no zip, no identifier", [](TRegistrationFields& f) { f.Zip.clear(), f.Id.clear(); }, {P::AddressMissing}},
        {"district and e-mail may stay empty", [](TRegistrationFields& f) { f.Locale.clear(), f.Mail.clear(); }, {}},
        {"no identifier", [](TRegistrationFields& f) { f.Id.clear(); }, {P::IdMissing}},
        {"no name", [](TRegistrationFields& f) { f.Name.clear(); }, {P::IdMissing}},
        {"no phone", [](TRegistrationFields& f) { f.Phone.clear(); }, {P::IdMissing}},
        {"no profile chosen", [](TRegistrationFields& f) { f.ProfilePosition = -1; }, {P::IdMissing}},
        {"no type chosen", [](TRegistrationFields& f) { f.TypePosition = -1; }, {P::IdMissing}},
        {"no person, wrong number", [](TRegistrationFields& f) { f.Persons.clear(), f.Id = "1"; }, {P::NoPerson}},
        {"wrong CNPJ", [](TRegistrationFields& f) { f.Id = "11222333000182"; }, {P::IdCheckDigits}},
        {"13 digits completed before the check", [](TRegistrationFields& f) { f.Id = "1234567000195"; }, {}},
        {"short alphanumeric CNPJ is not padded",
         [](TRegistrationFields& f) { f.Id = "2ABC34501DE35"; },
         {P::IdCheckDigits}},
        {"alphanumeric CNPJ", [](TRegistrationFields& f) { f.Id = "12ABC34501DE35"; }, {}},
        {"CEI of 11 digits completed to 12",
         [](TRegistrationFields& f) { f.Id = "12345678906", f.TypePosition = 1; },
         {}},
        {"stored CEI checked in its 12-digit form",
         [](TRegistrationFields& f) { f.Id = "00012345678906", f.TypePosition = 1; },
         {}},
        {"wrong CEI", [](TRegistrationFields& f) { f.Id = "109876543210", f.TypePosition = 1; }, {P::IdCheckDigits}},
        {"a CNPJ under the CEI type", [](TRegistrationFields& f) { f.TypePosition = 1; }, {P::IdCheckDigits}},
    };
    const TEntityRegistrationCheck check(nullptr, true, nullptr);
    for (const Row& row : rows) {
        TRegistrationFields fields = Complete();
        row.change(fields);
        EXPECT_EQ(check.Check(fields), row.expected) << row.what;
    }
}

TEST(EntityRegistration, IdentifiersProfilesAndTypesBetweenStoreAndForm)
{
    using namespace EntityRegistration;
    struct IdRow {
        std::string stored;
        int type;
        std::string shown;
        std::string completed;
    };
    const IdRow ids[] = {
        {"00109876543219", TypeCEI, "109876543219", "109876543219"},
        {"12109876543219", TypeCEI, "12109876543219", "12109876543219"}, // no digit typed is dropped
        {"12345678906", TypeCEI, "12345678906", "012345678906"},
        {"00109876543219", TypeCNPJ, "00109876543219", "00109876543219"},
        {"1234567000195", TypeCNPJ, "1234567000195", "01234567000195"},
        {"2ABC34501DE35", TypeCNPJ, "2ABC34501DE35", "2ABC34501DE35"},
    };
    for (const IdRow& row : ids) {
        EXPECT_EQ(ShownId(row.stored, row.type), row.shown) << row.stored;
        EXPECT_EQ(CompletedId(row.stored, row.type), row.completed) << row.stored;
    }
    EXPECT_EQ(CompletedCpf(""), "");
    EXPECT_EQ(CompletedCpf("345678909"), "00345678909");
    EXPECT_EQ(CompletedCpf("12345678909"), "12345678909");

    for (const auto& [code, position] : std::vector<std::pair<std::string, int>>{
             {"01", 0}, {"02", 1}, {"96", 2}, {"99", 3}, {"04", -1}, {"1", -1}, {"", -1}})
        EXPECT_EQ(ProfilePosition(code), position) << code;
    for (const auto& [code, position] :
         std::vector<std::pair<std::string, int>>{{"01", 0}, {"02", 1}, {"2", 1}, {"00", -1}, {"", -1}, {"0A", -1}})
        EXPECT_EQ(TypePosition(code), position) << code;
}

TEST(EntityRegistration, AcceptedFieldsAreWrittenIntoTheRecord)
{
    TRegistrationFields fields = Complete("12345678906", EntityRegistration::TypeCEI);
    fields.Locale = "CENTRO";
    fields.Mail = "a@b.br\r\n[General]";
    fields.Persons = {{"ANA", "12345678909"}, {"BIA\nX", "98765432100"}};
    TUserData record;
    record.SetProfile("02");
    record.RespList() = {"OLD", "11111111111"};
    TEntityRegistrationCheck::Write(fields, record);
    EXPECT_EQ(record.Profile(), "01");
    EXPECT_EQ(record.Tipo_Inscricao(), "02");
    EXPECT_EQ(record.Inscricao(), "00012345678906") << "completed, then stored padded to 14";
    EXPECT_EQ(record.Razao, "LOJA");
    EXPECT_EQ(record.Telefone, "84");
    EXPECT_EQ(record.Endereco, "RUA A");
    EXPECT_EQ(record.Bairro, "CENTRO");
    EXPECT_EQ(record.Cidade, "NATAL");
    EXPECT_EQ(record.CEP, "59000000");
    EXPECT_EQ(record.UF, "RN");
    EXPECT_EQ(record.Email, TRequestFile::OneLineValue(fields.Mail));
    EXPECT_EQ(record.Email.find_first_of("\r\n"), std::string::npos);
    ASSERT_EQ(record.RespList().size(), 4u);
    EXPECT_EQ(record.RespList()[0], "ANA");
    EXPECT_EQ(record.RespList()[2], TRequestFile::OneLineValue("BIA\nX"));
    EXPECT_EQ(record.RespList()[3], "98765432100");
}

TEST(EntityRegistration, EachIdentifierBelongsToOneEntity)
{
    testsupport::TempFolder dir{"quorvex-registration"};
    ASSERT_TRUE(dir.Valid());
    TRequestFile file(dir.Path() + "ENTITY.DAT");
    TUsersData registry(file, dir.Path());
    const auto add = [&](const std::string& tipo, const std::string& inscricao) {
        TUserData* entity = registry.Add();
        entity->SetTipoInscricao(tipo);
        entity->SetInscricao(inscricao);
        return entity;
    };
    TUserData* cnpj = add("01", ValidCNPJ);
    add("02", "00" + ValidCEI);
    TUserData* fresh = registry.Add();
    registry.Activate(registry.Count());
    TUserData blank;

    struct Row {
        const char* what;
        bool newEntity;
        const TUserData* edited;
        TRegistrationFields fields;
        Problems expected;
    };
    const Row rows[] = {
        {"new with a taken CNPJ", true, fresh, Complete(), {P::IdTaken}},
        {"new with a taken CEI, typed in 12 digits", true, fresh, Complete(ValidCEI, 1), {P::IdTaken}},
        {"new with a free CNPJ", true, fresh, Complete(OtherValidCNPJ), {}},
        {"wrong and taken: both, the advisory first",
         true,
         fresh,
         Complete("00" + ValidCEI, 0),
         {P::IdCheckDigits, P::IdTaken}},
        {"correction keeps its own", false, cnpj, Complete(), {}},
        {"correction takes another's", false, cnpj, Complete(ValidCEI, 1), {P::IdTaken}},
        {"the active entity corrected on a blank record", false, &blank, Complete(OtherValidCNPJ), {}},
        {"a blank record may not take another's", false, &blank, Complete(), {P::IdTaken}},
    };
    fresh->SetInscricao(OtherValidCNPJ); // the active entity's own, for the blank-record rows
    for (const Row& row : rows) {
        if (row.newEntity)
            fresh->SetInscricao("");
        const TEntityRegistrationCheck check(&registry, row.newEntity, row.edited);
        EXPECT_EQ(check.Check(row.fields), row.expected) << row.what;
        fresh->SetInscricao(OtherValidCNPJ);
    }
    EXPECT_TRUE(TEntityRegistrationCheck(nullptr, true, nullptr).Check(Complete()).empty()) << "no registry";
}
