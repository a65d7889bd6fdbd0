#include "store/TUserData.h"

#include "store/IdRules.h"
#include "store/TCustomRequestFile.h"

#include <algorithm>

namespace {

std::string PadCode(const std::string& Text)
{
    return Text.size() == 1 ? "0" + Text : Text;
}

} // namespace

void TUserData::SetInscricao(const std::string& Text)
{
    Inscricao_ = PadLeftZeros(Text, 14);
}

void TUserData::SetProfile(const std::string& Text)
{
    Profile_ = PadCode(Text);
}

void TUserData::SetTipoInscricao(const std::string& Text)
{
    Tipo_Inscricao_ = PadCode(Text);
}

std::vector<std::string>& TUserData::RespList()
{
    if (!Resp)
        Resp.emplace();
    return *Resp;
}

void TUserData::Assign(const TUserData& Source)
{
    if (&Source == this)
        return;
    Bairro = Source.Bairro;
    CEP = Source.CEP;
    Cidade = Source.Cidade;
    Email = Source.Email;
    Endereco = Source.Endereco;
    SetInscricao(Source.Inscricao());
    SetProfile(Source.Profile());
    Razao = Source.Razao;
    Telefone = Source.Telefone;
    SetTipoInscricao(Source.Tipo_Inscricao());
    UF = Source.UF;
}

std::string TUserData::KeyIdentity() const
{
    std::string identity = Tipo_Inscricao_ + Inscricao_ + "000000" + Profile_;
    identity.append(6, '\0');
    return identity;
}

const std::vector<std::string>& TUserData::FieldKeys()
{
    static const std::vector<std::string> Keys = {"Profile",  "Tipo_Inscricao", "Inscricao", "Razao",
                                                  "Endereco", "Bairro",         "Cidade",    "UF",
                                                  "CEP",      "Telefone",       "Email"};
    return Keys;
}

namespace {

// The field of a record under each key of FieldKeys, in the same order.
std::string FieldValue(const TUserData& Data, std::size_t Field)
{
    switch (Field) {
    case 0: return Data.Profile();
    case 1: return Data.Tipo_Inscricao();
    case 2: return Data.Inscricao();
    case 3: return Data.Razao;
    case 4: return Data.Endereco;
    case 5: return Data.Bairro;
    case 6: return Data.Cidade;
    case 7: return Data.UF;
    case 8: return Data.CEP;
    case 9: return Data.Telefone;
    default: return Data.Email;
    }
}

void SetFieldValue(TUserData& Data, std::size_t Field, const std::string& Value)
{
    switch (Field) {
    case 0: Data.SetProfile(Value); break;
    case 1: Data.SetTipoInscricao(Value); break;
    case 2: Data.SetInscricao(Value); break;
    case 3: Data.Razao = Value; break;
    case 4: Data.Endereco = Value; break;
    case 5: Data.Bairro = Value; break;
    case 6: Data.Cidade = Value; break;
    case 7: Data.UF = Value; break;
    case 8: Data.CEP = Value; break;
    case 9: Data.Telefone = Value; break;
    default: Data.Email = Value; break;
    }
}

} // namespace

void TUserData::ReadFields(const TCustomRequestFile& File, const std::string& Section, const std::string& Default)
{
    const auto& keys = FieldKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        SetFieldValue(*this, i, File.ReadString(Section, keys[i], Default));
}

void TUserData::WriteFields(TCustomRequestFile& File, const std::string& Section) const
{
    const auto& keys = FieldKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        File.WriteString(Section, keys[i], FieldValue(*this, i));
}

void TUserData::ReadRegistryRecord(const TCustomRequestFile& Registry, const std::string& Section)
{
    ReadFields(Registry, Section, "0");
    Index = Registry.ReadInteger(Section, "Index", 0);
}

void TUserData::WriteRegistryRecord(TCustomRequestFile& Registry, const std::string& Section) const
{
    WriteFields(Registry, Section);
    Registry.WriteInteger(Section, "Index", Index);
}

void TUserData::ReadStorageRecord(const TCustomRequestFile& Storage)
{
    ReadFields(Storage, "Request", "");
    ReadResp(Storage);
}

void TUserData::ReadResp(const TCustomRequestFile& Storage)
{
    auto& resp = RespList();
    resp.clear();
    int32_t count = Storage.ReadInteger("Resp", "RespCount", 0);
    // A damaged count must not run on far past the persons stored: no real
    // count exceeds the lines of the section.
    std::vector<std::string> lines;
    Storage.ReadSectionValues("Resp", lines);
    count = std::min<int32_t>(count, static_cast<int32_t>(lines.size()));
    for (int32_t i = 1; i <= count; ++i) {
        const std::string k = std::to_string(i);
        resp.push_back(Storage.ReadString("Resp", "Resp" + k, ""));
        resp.push_back(Storage.ReadString("Resp", "Cpf" + k, ""));
    }
}

void TUserData::WriteStorageRecord(TCustomRequestFile& Storage) const
{
    Storage.WriteBool("General", "Request", true);
    WriteFields(Storage, "Request");

    // The whole record is in place before the one save: a save that fails
    // leaves memory holding the persons, and the next save writes them.
    Storage.EraseSection("Resp");
    if (Resp) {
        const std::vector<std::string>& resp = *Resp;
        int32_t k = 1;
        for (std::size_t i = 1; i < resp.size(); i += 2, ++k) {
            Storage.WriteString("Resp", "Resp" + std::to_string(k), resp[i - 1]);
            Storage.WriteString("Resp", "Cpf" + std::to_string(k), resp[i]);
        }
        Storage.WriteInteger("Resp", "RespCount", static_cast<int32_t>(resp.size() / 2));
    }
    Storage.UpdateFile();
}
