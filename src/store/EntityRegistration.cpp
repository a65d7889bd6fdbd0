#include "store/EntityRegistration.h"

#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"

#include <iterator>

namespace EntityRegistration {

namespace {

// Profile codes by their position in the profile list.
const char* const ProfileCodes[] = {"01", "02", "96", "99"};

} // namespace

int ProfilePosition(const std::string& Code)
{
    for (int position = 0; position < int(std::size(ProfileCodes)); ++position)
        if (Code == ProfileCodes[position])
            return position;
    return -1;
}

int TypePosition(const std::string& TipoInscricao)
{
    if (TipoInscricao.empty() || TipoInscricao.size() > 9)
        return -1;
    int value = 0;
    for (char c : TipoInscricao) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value - 1;
}

std::string ShownId(const std::string& Inscricao, int TypePosition)
{
    if (TypePosition != TypeCEI || Inscricao.size() <= CeiLength)
        return Inscricao;
    // A CEI is kept padded to 14 characters; its own form is the last 12
    // digits. Only zeros are dropped, so a longer number typed by the user is
    // never cut.
    const std::size_t extra = Inscricao.size() - CeiLength;
    if (Inscricao.find_first_not_of('0') < extra)
        return Inscricao;
    return Inscricao.substr(extra);
}

std::string CompletedId(const std::string& Typed, int TypePosition)
{
    return TypePosition == TypeCEI ? PadLeftZeros(ShownId(Typed, TypePosition), CeiLength)
                                   : PadLeftZeros(Typed, CnpjLength);
}

std::string CompletedCpf(const std::string& Typed)
{
    return Typed.empty() ? Typed : PadLeftZeros(Typed, CpfLength);
}

} // namespace EntityRegistration

TEntityRegistrationCheck::TEntityRegistrationCheck(const TUsersData* Registry, bool NewEntity, const TUserData* Edited)
    : registry_(Registry), newEntity_(NewEntity), edited_(Edited), rules_(TIdRules::Standard())
{
}

std::vector<TRegistrationProblem> TEntityRegistrationCheck::Check(const TRegistrationFields& Fields) const
{
    // E-mail and district may stay empty.
    if (Fields.Address.empty() || Fields.City.empty() || Fields.Zip.empty() || Fields.State.empty())
        return {TRegistrationProblem::AddressMissing};
    if (Fields.Id.empty() || Fields.Name.empty() || Fields.Phone.empty() || Fields.ProfilePosition < 0
        || Fields.TypePosition < 0)
        return {TRegistrationProblem::IdMissing};
    if (Fields.Persons.empty())
        return {TRegistrationProblem::NoPerson};

    std::vector<TRegistrationProblem> problems;
    const std::string id = EntityRegistration::CompletedId(Fields.Id, Fields.TypePosition);
    if (Fields.TypePosition < rules_.Count() && !rules_[Fields.TypePosition](id))
        problems.push_back(TRegistrationProblem::IdCheckDigits);
    // Identifiers are compared in the form they are stored in.
    TUserData probe;
    probe.SetInscricao(id);
    if (Taken(probe.Inscricao()))
        problems.push_back(TRegistrationProblem::IdTaken);
    return problems;
}

bool TEntityRegistrationCheck::Taken(const std::string& Stored) const
{
    if (!registry_)
        return false;
    if (newEntity_)
        return !registry_->IsInscriptionFree(Stored);
    // Correcting an entity: its own record (the one edited, or the active
    // entity when the form works on a blank record) does not count, but no
    // other entity may end up with the same identifier, or the entity list
    // could no longer tell the two apart.
    const TUserData* active = registry_->ActiveIndex() > 0 ? registry_->Entity(registry_->ActiveIndex()) : nullptr;
    return !registry_->IsInscriptionFree(Stored, {edited_, active});
}

void TEntityRegistrationCheck::Write(const TRegistrationFields& Fields, TUserData& Record)
{
    Record.SetProfile(EntityRegistration::OfferedProfile);
    Record.Bairro = Fields.Locale;
    Record.CEP = Fields.Zip;
    Record.Cidade = Fields.City;
    Record.Email = TRequestFile::OneLineValue(Fields.Mail);
    Record.Endereco = Fields.Address;
    Record.SetInscricao(EntityRegistration::CompletedId(Fields.Id, Fields.TypePosition));
    Record.Razao = Fields.Name;
    Record.Telefone = Fields.Phone;
    Record.SetTipoInscricao(std::to_string(Fields.TypePosition + 1));
    Record.UF = Fields.State;
    std::vector<std::string>& resp = Record.RespList();
    resp.clear();
    for (const auto& [name, cpf] : Fields.Persons) {
        resp.push_back(TRequestFile::OneLineValue(name));
        resp.push_back(TRequestFile::OneLineValue(cpf));
    }
}
