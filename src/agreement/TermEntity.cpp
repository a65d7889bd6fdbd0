#include "agreement/TermEntity.h"

#include "store/TCustomRequestFile.h"

namespace TermEntity {

TUserData FromStorage(const TCustomRequestFile& Storage)
{
    TUserData entity;
    entity.ReadStorageRecord(Storage);
    return entity;
}

} // namespace TermEntity
