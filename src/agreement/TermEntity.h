#pragma once
// The entity record of the term, filled afresh from an entity's storage
// file: [Request] Profile, Tipo_Inscricao, Inscricao, Razao, Endereco,
// Bairro, Cidade, UF, CEP, Telefone, Email, and [Resp] RespCount with
// Resp<i>/Cpf<i> appended to Resp as name, CPF.
#include "store/TUserData.h"

class TCustomRequestFile;

namespace TermEntity {

TUserData FromStorage(const TCustomRequestFile& Storage);

} // namespace TermEntity
