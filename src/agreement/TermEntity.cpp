#include "agreement/TermEntity.h"

#include "store/TCustomRequestFile.h"

namespace TermEntity {

TUserData FromStorage(const TCustomRequestFile& Storage)
{
    TUserData entity;
    entity.ReadFields(Storage, "Request", "");
    entity.ReadResp(Storage);
    return entity;
}

} // namespace TermEntity
