#include "app/steps/TEntitySession.h"

#include "app/steps/StorageOperations.h"
#include "base/EntityNaming.h"
#include "base/LetterCase.h"
#include "crypto/FingerprintStamp.h"
#include "store/StorageFile.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"

#include <utility>

namespace {

const char* const kGeneral = "General";

TCertificateEntry EntryOf(const TRequestFile& Storage, const std::string& Id)
{
    const StorageFile storage = StorageFile::Reading(Storage);
    return {Id, storage.Name(Id), storage.Signed(Id)};
}

} // namespace

TEntitySession::TEntitySession(const std::string& AppDir, TUsersDataOptions Options)
    : registryFile_(std::make_unique<TRequestFile>(AppDir + EntityNaming::RegistryFileName)),
      registry_(std::make_unique<TUsersData>(*registryFile_, AppDir, std::move(Options)))
{
    // The position read back may have been out of range: the one in use is
    // the one on disk from the start.
    if (registry_->Count() > 0) {
        registry_->Activate(registry_->ActiveIndex());
        Save();
    }
}

TEntitySession::~TEntitySession() = default;

void TEntitySession::Save()
{
    registryFile_->UpdateFile();
}

void TEntitySession::CommitStorage(StorageFile& Storage)
{
    Storage.File().UpdateFile();
}

TUserData* TEntitySession::ActiveEntity() const
{
    return registry_->Entity(ActivePosition());
}

TRequestFile* TEntitySession::ActiveStorage() const
{
    return registry_->Storage(ActivePosition());
}

TEntityState TEntitySession::State() const
{
    return EntityRules::StateOf(Count() > 0, ActiveStorage());
}

TAllowedActions TEntitySession::Allowed(bool ClosingStep) const
{
    return EntityRules::Allowed(State(), ClosingStep);
}

TNextTask TEntitySession::NextTask() const
{
    return EntityRules::NextTask(State());
}

std::vector<TCertificateEntry> TEntitySession::Certificates(int32_t Position) const
{
    std::vector<TCertificateEntry> list;
    const TRequestFile* storage = registry_->Storage(Position);
    if (!storage)
        return list;
    for (const std::string& id : StorageFile::Reading(*storage).Certificates()) {
        TCertificateEntry entry = EntryOf(*storage, id);
        if (!entry.Name.empty())
            list.push_back(std::move(entry));
    }
    return list;
}

TCertificateEntry TEntitySession::Certificate(const std::string& Id) const
{
    const TRequestFile* storage = ActiveStorage();
    if (!storage)
        return {Id, {}, false};
    return EntryOf(*storage, Id);
}

TRenameResult TEntitySession::RenameCertificate(const std::string& Id, const std::string& Typed)
{
    const std::string name = TRequestFile::OneLineValue(Typed);
    if (name.empty())
        return TRenameResult::Empty;
    for (const TCertificateEntry& other : Certificates(ActivePosition()))
        if (other.Id != Id && LetterCase::SameText(other.Name, name))
            return TRenameResult::Duplicate;
    TRequestFile* storage = ActiveStorage();
    if (!storage || StorageFile::Reading(*storage).Name(Id) == name)
        return TRenameResult::Unchanged;
    StorageFile file(*storage);
    file.SetName(Id, name);
    CommitStorage(file);
    return TRenameResult::Renamed;
}

bool TEntitySession::Select(int32_t Position)
{
    if (Position < 1 || Position > Count())
        return false;
    registry_->Activate(Position);
    Save();
    return true;
}

TUserData* TEntitySession::BeginRegistration()
{
    previous_ = ActivePosition();
    registering_ = registry_->Add();
    registry_->Activate(Count());
    Save();
    return registering_;
}

void TEntitySession::CommitRegistration()
{
    TUserData* record = std::exchange(registering_, nullptr);
    if (!record)
        return;
    record->WriteStorageRecord(*ActiveStorage());
    // The number just issued: the record's registry section is named by it.
    const int32_t number = registry_->CountAll();
    record->Index = number;
    record->WriteRegistryRecord(*registryFile_, EntityNaming::SectionName(number));
    Save();
}

void TEntitySession::CancelRegistration()
{
    TUserData* record = std::exchange(registering_, nullptr);
    if (!record)
        return;
    // The number stays used: the entity is marked deleted, never issued
    // again, and its storage file goes.
    record->Index = registry_->CountAll();
    // Back to the entity active before, also when removing fails half way:
    // the registry must name an entity that is still there.
    try {
        registry_->Remove(Count());
    } catch (...) {
        try {
            ReactivatePrevious();
        } catch (...) {
            // The removal's own failure is the one to report.
        }
        throw;
    }
    ReactivatePrevious();
}

void TEntitySession::ReactivatePrevious()
{
    if (previous_ > 0 && previous_ <= Count())
        registry_->Activate(previous_);
    Save();
}

TUserData* TEntitySession::RecordToCorrect() const
{
    const TRequestFile* storage = ActiveStorage();
    return storage && StorageFile::Reading(*storage).FilledIn() ? ActiveEntity() : nullptr;
}

void TEntitySession::StoreFilledIn(const TUserData& Filled)
{
    TUserData* entity = ActiveEntity();
    TRequestFile* storage = ActiveStorage();
    if (!entity || !storage)
        return;
    Filled.WriteStorageRecord(*storage);
    if (&Filled != entity) {
        // A blank record that the form filled: the registry's record takes
        // its data, so that the entity list, ENTITY.DAT and the storage file
        // agree.
        entity->Assign(Filled);
        entity->RespList() = Filled.Resp ? *Filled.Resp : std::vector<std::string>{};
    }
    // The entity's own section, as the registry knows it: not the number the
    // record or the storage file's name claims, which a damaged or edited
    // file may give as another entity's.
    const int32_t number = registry_->Number(ActivePosition());
    entity->Index = number;
    entity->WriteRegistryRecord(*registryFile_, EntityNaming::SectionName(number));
    Save();
}

void TEntitySession::RemoveActive()
{
    if (ActivePosition() < 1)
        return;
    registry_->Remove(ActivePosition());
    Save();
}

void TEntitySession::StampFingerprints(KitLibraries& Kit)
{
    ::StampFingerprints(*registry_, Kit);
}

void TEntitySession::SaveOnExit(KitLibraries& Kit)
{
    StampFingerprints(Kit);
    registryFile_->WriteInteger(kGeneral, "Count", registry_->Count());
    registryFile_->WriteInteger(kGeneral, "CountAll", registry_->CountAll());
    registryFile_->WriteInteger(kGeneral, "ActiveIndex", registry_->ActiveIndex());
    Save();
}
