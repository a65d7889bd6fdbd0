#include "store/TUserData.h"

namespace {

std::string PadCode(const std::string& Text)
{
    return Text.size() == 1 ? "0" + Text : Text;
}

} // namespace

void TUserData::SetInscricao(const std::string& Text)
{
    Inscricao_ = Text.size() >= 14 ? Text : std::string(14 - Text.size(), '0') + Text;
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
