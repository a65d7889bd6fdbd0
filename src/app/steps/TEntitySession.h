#pragma once
// The entities of one run, apart from any window: the registry file and the
// registry over it, which entity is active, what its state allows and the
// changes the user makes to entities and to certificate names. It decides
// when the registry and the storage files reach the disk: every action ends
// with the disk current and saves each file once, except that a removal's
// mark is saved before the entity's storage file is wiped. The certificate
// steps change a storage file in memory and ask the session to commit it.
// The main window asks it, shows what it says and fills the records it
// stores.
#include "app/steps/EntityRules.h"
#include "store/TUsersData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class KitLibraries;
class StorageFile;
class TRequestFile;
class TUserData;

// A certificate of an entity as its list shows it.
struct TCertificateEntry {
    std::string Id;
    std::string Name;
    bool Signed = false;

    bool operator==(const TCertificateEntry&) const = default;
};

enum class TRenameResult {
    Renamed,   // stored and saved
    Unchanged, // the name it already had: nothing written
    Empty,     // refused: a certificate without a name could not be listed
    Duplicate, // refused: another certificate of the entity has that name
};

class TEntitySession {
public:
    // Opens AppDir + "ENTITY.DAT" and the registry over it (AppDir ends with
    // "/"); the stored active entity is activated again, its position kept
    // within the entities loaded. Raises when a data file cannot be opened.
    explicit TEntitySession(const std::string& AppDir, TUsersDataOptions Options = {});
    ~TEntitySession();
    TEntitySession(const TEntitySession&) = delete;
    TEntitySession& operator=(const TEntitySession&) = delete;

    TRequestFile& RegistryFile() const { return *registryFile_; }
    TUsersData& Registry() const { return *registry_; }

    int32_t Count() const { return registry_->Count(); }
    // Position of the active entity, 0 when none.
    int32_t ActivePosition() const { return registry_->ActiveIndex(); }
    // The active entity's record and storage file; null when none.
    TUserData* ActiveEntity() const;
    TRequestFile* ActiveStorage() const;

    TEntityState State() const;
    // ClosingStep: see EntityRules::Allowed.
    TAllowedActions Allowed(bool ClosingStep) const;
    TNextTask NextTask() const;

    // The certificates of the entity at Position, the master first; one
    // without an identifier or a name is left out, since no list could
    // offer it for any step.
    std::vector<TCertificateEntry> Certificates(int32_t Position) const;
    // A certificate of the active entity as its storage file holds it now
    // (an empty name when it has none, or when there is no active entity).
    TCertificateEntry Certificate(const std::string& Id) const;
    // Renames a certificate of the active entity and saves its storage file
    // at once (a crash or a restore must not lose it). Names are compared
    // without regard to letter case, as the lists show them. A name typed
    // or pasted over several lines is kept on one line (see Certificate for
    // the name as stored).
    TRenameResult RenameCertificate(const std::string& Id, const std::string& Typed);

    // Saves a storage file that a step changed, at once and as a whole:
    // each logical change reaches the disk when it is made. Raises what
    // saving raises; memory then still holds the change.
    void CommitStorage(StorageFile& Storage);

    // Makes the entity at Position active and saves that; false (and no
    // change) outside 1..Count.
    bool Select(int32_t Position);

    // Registration: Begin adds an empty entity, makes it active and saves,
    // so that its number stays used even when the run ends while its record
    // is being filled in; the record returned is the one to fill. Commit
    // stores the filled record; Cancel drops the entity (its number is never
    // issued again) and makes the entity active before it active again.
    TUserData* BeginRegistration();
    void CommitRegistration();
    void CancelRegistration();

    // The active entity's record when its data were filled in before (the
    // form corrects it in place); null when there is nothing to correct yet.
    TUserData* RecordToCorrect() const;
    // Stores the active entity's data: its storage file's record and its
    // section of ENTITY.DAT, each saved once. Filled may be the active
    // entity's own record or a blank one the form filled.
    void StoreFilledIn(const TUserData& Filled);

    // Removes the active entity (its storage file is wiped); the entity
    // before it becomes active.
    void RemoveActive();

    // Stamps every storage file with a fresh fingerprint and saves the ones
    // that changed: before a backup, so that the copy matches what the
    // program leaves behind, and at the end of a run. The digests come from
    // Kit. Raises on failure.
    void StampFingerprints(KitLibraries& Kit);
    // The end of a run: the stamps, then the registry's counts and active
    // position. Raises on failure.
    void SaveOnExit(KitLibraries& Kit);

private:
    void Save();
    // After a registration was dropped: the entity active before it again.
    void ReactivatePrevious();

    std::unique_ptr<TRequestFile> registryFile_;
    std::unique_ptr<TUsersData> registry_;
    // During a registration: the record being filled and the entity active
    // before it.
    TUserData* registering_ = nullptr;
    int32_t previous_ = 0;
};
