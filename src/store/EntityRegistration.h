#pragma once
// The rules of an entity's registration, apart from the form that asks for
// it: which fields must be filled in, the identifier completed to its full
// length and checked, one identifier per entity, the profile, and the record
// written from what was accepted. The form gathers its fields, shows the
// problems the check returns in their order and asks about the one that the
// user may overrule.
#include "store/IdRules.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

class TUserData;
class TUsersData;

// What the form holds when OK is pressed.
struct TRegistrationFields {
    int ProfilePosition = -1; // in the profile list; -1: none chosen
    int TypePosition = -1;    // in the type list (CNPJ, CEI); -1: none chosen
    std::string Id;           // as typed
    std::string Name;
    std::string Phone;
    std::string Address;
    std::string Locale;
    std::string City;
    std::string Zip;
    std::string State; // the state code; empty: none chosen
    std::string Mail;
    std::vector<std::pair<std::string, std::string>> Persons; // name and CPF, in display order
};

enum class TRegistrationProblem {
    AddressMissing, // the address page is not filled in
    IdMissing,      // the identification page is not filled in
    NoPerson,       // no responsible person is listed
    IdCheckDigits,  // the identifier fails its check digits: the user may keep it
    IdTaken,        // another entity has the identifier
};

namespace EntityRegistration {

inline constexpr int TypeCNPJ = 0;
inline constexpr int TypeCEI = 1;
inline constexpr std::size_t CnpjLength = 14;
inline constexpr std::size_t CeiLength = 12;
inline constexpr std::size_t CpfLength = 11;

// The profile the form offers: a company that uses the service.
inline constexpr const char* OfferedProfile = "01";
// The position of a stored profile code in the profile list ("01", "02",
// "96", "99"), or -1 for any other code. Only the first position is
// offered; the others can still come from stored data.
int ProfilePosition(const std::string& Code);
// The position of a stored identifier type ("01" CNPJ, "02" CEI) in the type
// list: the number it reads as, less one; -1 when it is no plain number.
int TypePosition(const std::string& TipoInscricao);

// The identifier as the form shows and checks it: a CEI in its 12-digit
// form (a stored CEI carries two extra leading zeros), anything else as
// given.
std::string ShownId(const std::string& Inscricao, int TypePosition);
// The identifier completed with leading zeros to its full length: 12 for a
// CEI, 14 for anything else (an alphanumeric CNPJ is never padded).
std::string CompletedId(const std::string& Typed, int TypePosition);
// A CPF completed with leading zeros to 11 digits; an empty one stays empty,
// so that eleven zeros never stand as if typed.
std::string CompletedCpf(const std::string& Typed);

} // namespace EntityRegistration

class TEntityRegistrationCheck {
public:
    // Registry: where the identifier must be free (null: nowhere). NewEntity:
    // registering a new entity; else Edited, the record being corrected (and
    // the registry's active entity, when the form works on a blank record)
    // may keep its own identifier.
    TEntityRegistrationCheck(const TUsersData* Registry, bool NewEntity, const TUserData* Edited);

    // The problems of Fields in the order the form reports them: the first
    // missing field alone (address page, identification page, persons);
    // else the identifier's, checked in its completed form.
    std::vector<TRegistrationProblem> Check(const TRegistrationFields& Fields) const;

    // Writes the accepted fields into Record: the offered profile, the
    // identifier completed and stored padded, the type's code, and the
    // responsible persons in display order. The e-mail and the persons'
    // fields take pasted text: kept on one line.
    static void Write(const TRegistrationFields& Fields, TUserData& Record);

private:
    bool Taken(const std::string& Stored) const;

    const TUsersData* registry_;
    bool newEntity_;
    const TUserData* edited_;
    TIdRules rules_;
};
