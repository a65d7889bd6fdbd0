#include "agreement/TermEntity.h"

#include "store/TCustomRequestFile.h"

namespace TermEntity {

TUserData FromStorage(const TCustomRequestFile& Storage)
{
    TUserData entity;
    const std::string request = "Request";
    entity.SetProfile(Storage.ReadString(request, "Profile", ""));
    entity.SetTipoInscricao(Storage.ReadString(request, "Tipo_Inscricao", ""));
    entity.SetInscricao(Storage.ReadString(request, "Inscricao", ""));
    entity.Razao = Storage.ReadString(request, "Razao", "");
    entity.Endereco = Storage.ReadString(request, "Endereco", "");
    entity.Bairro = Storage.ReadString(request, "Bairro", "");
    entity.Cidade = Storage.ReadString(request, "Cidade", "");
    entity.UF = Storage.ReadString(request, "UF", "");
    entity.CEP = Storage.ReadString(request, "CEP", "");
    entity.Telefone = Storage.ReadString(request, "Telefone", "");
    entity.Email = Storage.ReadString(request, "Email", "");
    auto& resp = entity.RespList();
    const int32_t count = Storage.ReadInteger("Resp", "RespCount", 0);
    // A count beyond the stored keys asks for nothing that is not there.
    // (a damaged count of two thousand million stops at the first gap).
    const std::string absent(1, '\0');
    for (int32_t i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        std::string name = Storage.ReadString("Resp", "Resp" + n, absent);
        std::string cpf = Storage.ReadString("Resp", "Cpf" + n, absent);
        if (name == absent && cpf == absent)
            break;
        resp.push_back(name == absent ? std::string() : std::move(name));
        resp.push_back(cpf == absent ? std::string() : std::move(cpf));
    }
    return entity;
}

} // namespace TermEntity
