#pragma once
// Small operations on an entity's storage file that several steps share.
#include <string>
#include <vector>

class TRequestFile;
class TUserData;

// Sets the record's request fields (Profile, Tipo_Inscricao, Inscricao,
// Razao, Endereco, Bairro, Cidade, UF, CEP, Telefone, Email) from [Request]
// of Storage, and its responsible persons to the pairs Resp<k>, Cpf<k> of
// [Resp], k = 1 .. RespCount (replacing, never adding to, the list it had).
void LoadEntityFromStorage(const TRequestFile& Storage, TUserData& Record);

// Decimal text of Number, left-padded with "0" to Width characters.
std::string ZeroPad(int Number, int Width);

// True when some entry equals Id without regard to letter case.
bool IsInList(const std::string& Id, const std::vector<std::string>& List);

// A comma list as written in [General] Keys; an empty text is an empty list.
std::vector<std::string> SplitCommaList(const std::string& Text);
std::string JoinCommaList(const std::vector<std::string>& List);

// [General] Keys of the storage as a list.
std::vector<std::string> ReadKeys(const TRequestFile& Storage);
// [General] MasterKey followed by [General] Keys, empty entries left out.
std::vector<std::string> AllCertificates(const TRequestFile& Storage);

// The text of the lines, each followed by CR LF: what a data file holds and
// what its signature and fingerprint cover.
std::string JoinLines(const std::vector<std::string>& Lines);

// printf-style "%s" and "%d" filled in order (the texts table's forms).
std::string FormatText(const char* Format, const std::vector<std::string>& Arguments);
