#pragma once
// The entity registry: the live entities of ENTITY.DAT in position order, one
// storage file (STORAGE.<n>.DAT) per entity, and which one is active.
//
// Two numbers per entity: the entity number n (issued once, never reused;
// kept in TUserData::Index) and the 1-based position among the live entities,
// which every operation here takes. Changes are made in memory; the caller
// decides when the registry file is saved, except where a removal must have
// its mark on disk first (see Remove).
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersDataListener.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

// Knobs for building the registry; the defaults are the program's.
struct TUsersDataOptions {
    // How often a storage file that cannot be opened is tried while the
    // registry is built, one attempt per RetryDelayMs; then EStorageOpenError.
    int OpenAttempts = 5;
    int RetryDelayMs = 1000;
    // Waits between attempts; null means really sleeping.
    std::function<void(int Milliseconds)> Sleep;
    // Opens a storage file; null means constructing a TRequestFile.
    std::function<std::unique_ptr<TRequestFile>(const std::string& FileName)> OpenStorage;
    // The most live entities opened at start, in number order; the others
    // stay in the registry file untouched (see EntitiesLeftOut). Each one
    // opened costs a storage file (created when missing, with a flush) and a
    // list in the window, so a registry of millions of sections, which a
    // restored archive may bring, would hold the start for hours and fill
    // the folder and the memory. An office keeps thousands at the most.
    std::size_t MaxEntities = 10000;
};

// A data file whose reading stopped early, and where its original was set
// aside by the first save.
struct TDamagedFile {
    std::string File;
    std::string Copy;
};

class TUsersData {
public:
    // Builds the registry from RegistryFile (kept by the caller, written for
    // the rest of the run). AppDir is the data folder with a trailing "/"; a
    // stored storage path that is not the entity's own STORAGE.<n>.DAT (any
    // letter case) directly in it is replaced by AppDir + "STORAGE.<n>.DAT". A registry file whose
    // reading stopped early is saved once built (see DamagedFiles). Every live
    // entity's storage file is opened (retried as Options say) and saved at
    // once. Count is taken from the entities actually loaded and ActiveIndex
    // is kept within 1..Count (0 when there are none).
    TUsersData(TRequestFile& RegistryFile, std::string AppDir, TUsersDataOptions Options = {});
    // Frees records and storage objects; writes nothing.
    ~TUsersData();

    TUsersData(const TUsersData&) = delete;
    TUsersData& operator=(const TUsersData&) = delete;

    // Number of live entities.
    int32_t Count() const { return Count_; }
    // Highest entity number issued so far.
    int32_t CountAll() const { return CountAll_; }
    // Position of the active entity, 0 when none.
    int32_t ActiveIndex() const { return ActiveIndex_; }
    const std::string& AppDir() const { return AppDir_; }
    TRequestFile& RegistryFile() const { return RegistryFile_; }

    // Makes the entity at Index active (General/ActiveIndex written, not
    // saved) and returns its record; null and no change for Index < 1.
    // Index > Count raises EListError.
    TUserData* Activate(int32_t Index);
    // Activates the last entity whose Inscricao equals the text exactly and
    // returns it, or null (and changes nothing) when none matches. Not saved.
    TUserData* ActivateByInscription(const std::string& Inscricao);
    // The record at Index; null for Index < 1, EListError above Count.
    TUserData* Entity(int32_t Index) const;
    // The storage file at Index; null for Index < 1, EListError above Count.
    TRequestFile* Storage(int32_t Index) const;
    // The entity number n of the entity at Index (its section "Entity<n>"),
    // as loaded or issued; EListError outside 1..Count.
    int32_t Number(int32_t Index) const;
    // True when no live entity has exactly this Inscricao, the records in
    // Except aside (an entity being corrected may keep its own).
    bool IsInscriptionFree(const std::string& Inscricao, const std::vector<const TUserData*>& Except = {}) const;

    // Registers a new empty entity (number CountAll + 1, or the first number
    // above it with neither a section nor a storage file on disk; empty storage file AppDir +
    // "STORAGE.<n>.DAT", created on disk) at position Count + 1 and returns
    // its record; does not activate it, and does not save the registry file.
    // When the storage file cannot be created the failure is raised and
    // nothing is registered; so is EEntityLimitError when the live entities
    // open and those left out at start reach MaxEntities.
    TUserData* Add();
    // Marks the entity at Index deleted (its section stays, with DELETED=1
    // and Index; every other key of it is blanked) and saves that mark, then deletes its storage file and moves
    // ActiveIndex down by one (to 1 when entities remain, 0 when none); the
    // new Count and ActiveIndex are written but not saved. A failing save of
    // the mark raises and leaves the entity registered. Index < 1 does
    // nothing.
    void Remove(int32_t Index);

    // Who hears of added and removed entities; null (the default) for nobody.
    // The registry does not own the listener.
    void SetListener(TUsersDataListener* Listener) { Listener_ = Listener; }

    // The part of a stored path after its last "\", "/" or ":".
    static std::string FilePart(const std::string& Path);

    // The registry file and the storage files that were found damaged (their
    // reading stopped early) and whose original was set aside by a save: the
    // main window tells the user about them once, at start.
    std::vector<TDamagedFile> DamagedFiles() const;
    // Live entities of the registry file not opened, past MaxEntities.
    int32_t EntitiesLeftOut() const { return LeftOut_; }

private:
    std::unique_ptr<TRequestFile> OpenStorageWithRetry(const std::string& FileName);
    bool IsUsableStoragePath(const std::string& Path, int32_t Number,
                             const std::unordered_set<std::string>& Taken) const;
    void CheckPosition(int32_t Index) const;
    void Save();

    TRequestFile& RegistryFile_;
    std::string AppDir_;
    TUsersDataOptions Options_;
    TUsersDataListener* Listener_ = nullptr;

    std::vector<std::unique_ptr<TUserData>> Users_;
    std::vector<std::unique_ptr<TRequestFile>> Storages_;
    // The entity number n of each position, as loaded or issued.
    std::vector<int32_t> Numbers_;
    int32_t Count_ = 0;
    int32_t CountAll_ = 0;
    int32_t LeftOut_ = 0;
    int32_t ActiveIndex_ = 0;
};
