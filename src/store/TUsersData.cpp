#include "store/TUsersData.h"

#include "base/EntityNaming.h"
#include "base/SafeReplace.h"
#include "store/StoreErrors.h"
#include "base/Texts.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string General = "General";

std::string EntitySection(int32_t n)
{
    return EntityNaming::SectionName(n);
}

int32_t EntityNumber(const std::string& Name)
{
    return EntityNaming::SectionNumber(Name);
}

} // namespace

std::string TUsersData::FilePart(const std::string& Path)
{
    return EntityNaming::FilePart(Path);
}

TUsersData::TUsersData(TRequestFile& RegistryFile, std::string AppDir, TUsersDataOptions Options)
    : RegistryFile_(RegistryFile), AppDir_(std::move(AppDir)), Options_(std::move(Options))
{
    const int32_t storedActive = RegistryFile_.ReadInteger(General, "ActiveIndex", 0);
    // A negative count can only come from a damaged file.
    CountAll_ = std::max(RegistryFile_.ReadInteger(General, "CountAll", 0), 0);

    // The entity numbers that have a section, in increasing order. Walking
    // the sections present (rather than every number up to CountAll) keeps a
    // damaged CountAll from stalling the start or inventing entities.
    std::vector<std::string> names;
    RegistryFile_.ReadSections(names);
    std::vector<int32_t> numbers;
    for (const auto& name : names) {
        const int32_t n = EntityNumber(name);
        if (n >= 1 && n <= CountAll_)
            numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());

    // A set: an office folder holds thousands of entities.
    std::unordered_set<std::string> usedPaths;
    bool pathsReplaced = false;
    for (const int32_t n : numbers) {
        const std::string section = EntitySection(n);
        if (RegistryFile_.ReadBool(section, "DELETED", false))
            continue;
        if (Users_.size() >= Options_.MaxEntities) {
            ++LeftOut_;
            continue;
        }
        auto user = std::make_unique<TUserData>();

        // A stored path is used only when it names the entity's own storage
        // file directly in the data folder; anything else (the program's
        // folder moved, a Windows path, a lost name, "<folder>/../x" or
        // another folder reached from it, another file of the folder)
        // becomes the entity's own storage file there. Saving at exit and
        // removing the entity must never touch any other file.
        std::string path = RegistryFile_.ReadString(section, "filename", "");
        if (!IsUsableStoragePath(path, n, usedPaths)) {
            path = AppDir_ + EntityNaming::StorageFileName(n);
            RegistryFile_.WriteString(section, "filename", path);
            pathsReplaced = true;
        }
        usedPaths.insert(path);

        auto storage = OpenStorageWithRetry(path);
        // Creates a missing storage file and normalises an existing one.
        storage->UpdateFile();

        user->ReadRegistryRecord(RegistryFile_, section);
        user->ReadResp(*storage);

        Users_.push_back(std::move(user));
        Storages_.push_back(std::move(storage));
        Numbers_.push_back(n);
    }

    // The positions must agree with what was loaded, whatever the file says.
    Count_ = static_cast<int32_t>(Users_.size());
    ActiveIndex_ = Count_ == 0 ? 0 : std::clamp(storedActive, 1, Count_);

    // Replaced paths are saved once, all together. A registry whose reading
    // stopped early is saved now too, so that its original is set aside at
    // start, before anything else is done to it.
    if (pathsReplaced || (RegistryFile_.StoppedEarly() && RegistryFile_.DamagedCopy().empty()))
        Save();
}

bool TUsersData::IsUsableStoragePath(const std::string& Path, int32_t Number,
                                     const std::unordered_set<std::string>& Taken) const
{
    const std::string part = FilePart(Path);
    if (part.empty() || Path != AppDir_ + part)
        return false;
    // Only STORAGE.<n>.DAT of this entity's own number n (in any letter
    // case). Any other name in the folder may be a file the client does not
    // own (in an unpacked copy the folder holds the client, reinit and the
    // kit, which a save would rewrite and a removal wipe), the registry, a
    // temporary, or the file of another entity: the two would overwrite
    // each other's keys, and a new entity (Add) would empty a file named
    // for a number not issued yet. It is also what a backup takes and a
    // restore brings back.
    if (EntityNaming::StorageFileNumber(part) != Number)
        return false;
    return Taken.count(Path) == 0;
}

std::vector<TDamagedFile> TUsersData::DamagedFiles() const
{
    std::vector<TDamagedFile> files;
    if (!RegistryFile_.DamagedCopy().empty())
        files.push_back({RegistryFile_.FileName(), RegistryFile_.DamagedCopy()});
    for (const auto& storage : Storages_)
        if (!storage->DamagedCopy().empty())
            files.push_back({storage->FileName(), storage->DamagedCopy()});
    return files;
}

TUsersData::~TUsersData() = default;

void TUsersData::Save()
{
    RegistryFile_.UpdateFile();
}

std::unique_ptr<TRequestFile> TUsersData::OpenStorageWithRetry(const std::string& FileName)
{
    const int attempts = std::max(1, Options_.OpenAttempts);
    std::string last;
    for (int attempt = 1;; ++attempt) {
        try {
            if (Options_.OpenStorage)
                return Options_.OpenStorage(FileName);
            return std::make_unique<TRequestFile>(FileName);
        } catch (const std::exception& e) {
            last = e.what();
        }
        if (attempt >= attempts)
            break;
        if (Options_.Sleep)
            Options_.Sleep(Options_.RetryDelayMs);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(Options_.RetryDelayMs));
    }
    throw EStorageOpenError(std::string(Texts::StorageOpenGaveUp1) + FileName + Texts::StorageOpenGaveUp2
                            + std::to_string(attempts) + Texts::StorageOpenGaveUp3 + last);
}

void TUsersData::CheckPosition(int32_t Index) const
{
    if (Index > Count_ || static_cast<std::size_t>(Index) > Users_.size())
        throw EListError(StoreErrors::ListIndexOutOfBounds(static_cast<long long>(Index) - 1));
}

int32_t TUsersData::Number(int32_t Index) const
{
    if (Index < 1)
        throw EListError(StoreErrors::ListIndexOutOfBounds(static_cast<long long>(Index) - 1));
    CheckPosition(Index);
    return Numbers_[static_cast<std::size_t>(Index - 1)];
}

TUserData* TUsersData::Activate(int32_t Index)
{
    if (Index < 1)
        return nullptr;
    CheckPosition(Index);
    ActiveIndex_ = Index;
    RegistryFile_.WriteInteger(General, "ActiveIndex", ActiveIndex_);
    return Users_[static_cast<std::size_t>(Index) - 1].get();
}

TUserData* TUsersData::ActivateByInscription(const std::string& Inscricao)
{
    int32_t last = 0;
    for (int32_t i = 1; i <= Count_; ++i)
        if (Users_[static_cast<std::size_t>(i) - 1]->Inscricao() == Inscricao)
            last = i;
    return last > 0 ? Activate(last) : nullptr;
}

TUserData* TUsersData::Entity(int32_t Index) const
{
    if (Index < 1)
        return nullptr;
    CheckPosition(Index);
    return Users_[static_cast<std::size_t>(Index) - 1].get();
}

TRequestFile* TUsersData::Storage(int32_t Index) const
{
    if (Index < 1)
        return nullptr;
    CheckPosition(Index);
    return Storages_[static_cast<std::size_t>(Index) - 1].get();
}

bool TUsersData::IsInscriptionFree(const std::string& Inscricao, const std::vector<const TUserData*>& Except) const
{
    for (const auto& user : Users_)
        if (user->Inscricao() == Inscricao && std::find(Except.begin(), Except.end(), user.get()) == Except.end())
            return false;
    return true;
}

TUserData* TUsersData::Add()
{
    // Past the bound the new entity, with the highest number, would be the
    // one left out at the next start: refused before anything is written.
    // The ones left out at this start count too: removing an open entity
    // makes room in memory, not in the next start's first MaxEntities.
    if (Users_.size() + static_cast<std::size_t>(LeftOut_) >= Options_.MaxEntities)
        throw EEntityLimitError(Texts::EntityLimitReached);
    // A number whose section already exists belongs to an entity that a
    // damaged CountAll hides; issuing it again would overwrite that entity's
    // registration and empty its storage file.
    // Nor is a number whose storage file is on disk: a restored registry
    // that no longer lists it leaves that file, keys and all, the only copy
    // of what it holds; it stays untouched and the number is skipped.
    int64_t next = static_cast<int64_t>(CountAll_) + 1;
    const auto taken = [this](int32_t n) {
        // A folder under that name holds no keys: the new file fails on it,
        // and the failure is reported.
        struct stat st {};
        return RegistryFile_.SectionExists(EntitySection(n))
               || (::lstat((AppDir_ + EntityNaming::StorageFileName(n)).c_str(), &st) == 0 && !S_ISDIR(st.st_mode));
    };
    while (next <= INT32_MAX && taken(static_cast<int32_t>(next)))
        ++next;
    if (next > INT32_MAX)
        throw EFCreateError(FileErrors::CannotCreateFile(AppDir_ + "STORAGE." + std::to_string(next) + ".DAT"));
    const int32_t n = static_cast<int32_t>(next);
    const std::string path = AppDir_ + EntityNaming::StorageFileName(n);

    // The storage file comes first: when it cannot be made, the failure goes
    // to the caller and the registry has not changed at all.
    std::unique_ptr<TRequestFile> storage =
        Options_.OpenStorage ? Options_.OpenStorage(path) : std::make_unique<TRequestFile>(path);
    // Empty, even when a file of that name was left over from before.
    storage->Clear();
    storage->UpdateFile();

    RegistryFile_.WriteString(EntitySection(n), "filename", path);

    auto user = std::make_unique<TUserData>();
    TUserData* record = user.get();
    Storages_.push_back(std::move(storage));
    Users_.push_back(std::move(user));
    Numbers_.push_back(n);
    ++Count_;
    CountAll_ = n;
    if (Listener_)
        Listener_->EntityAdded(Count_);

    RegistryFile_.WriteInteger(General, "Count", Count_);
    RegistryFile_.WriteInteger(General, "CountAll", CountAll_);
    return record;
}

void TUsersData::Remove(int32_t Index)
{
    if (Index < 1)
        return;
    CheckPosition(Index);
    const std::size_t at = static_cast<std::size_t>(Index) - 1;

    // The number the entity was loaded or added under: a record whose Index
    // field was never set (or was damaged) must not mark another entity, or
    // none, as deleted.
    const std::string section = EntitySection(Numbers_[at]);
    // Whether the key is there at all: a missing key gives each default back.
    const std::string oldMark = RegistryFile_.ReadString(section, "DELETED", "0");
    const bool hadMark = oldMark != "0" || RegistryFile_.ReadString(section, "DELETED", "1") == "0";
    // The section stays, so that its number is never issued again; what it
    // said about the company and its people (CNPJ, names, address, e-mail,
    // whatever else a key holds) goes with the entity, in the same save as
    // the mark, and so out of every later backup too.
    std::vector<std::string> keys;
    RegistryFile_.ReadSection(section, keys);
    std::vector<std::pair<std::string, std::string>> blanked;
    for (const std::string& key : keys) {
        if (key == "Index" || key == "DELETED")
            continue;
        std::string value = RegistryFile_.ReadString(section, key, "");
        if (value.empty())
            continue;
        RegistryFile_.WriteString(section, key, "");
        blanked.emplace_back(key, std::move(value));
    }
    RegistryFile_.WriteBool(section, "DELETED", true);
    // The mark reaches the disk before the storage file is wiped: a run that
    // ends in between leaves a removed entity with its file, never a
    // registered one whose keys are gone.
    try {
        Save();
    } catch (...) {
        // The entity stays, so its mark must go too: a later save for any
        // other reason would otherwise drop it from the registry for good
        // after the user was told that removing it failed.
        if (hadMark)
            RegistryFile_.WriteString(section, "DELETED", oldMark);
        else
            RegistryFile_.DeleteKey(section, "DELETED");
        for (const auto& [key, value] : blanked)
            RegistryFile_.WriteString(section, key, value);
        throw;
    }

    // The storage file holds the entity's keys, encrypted: overwritten before
    // its blocks are freed, as a restore does with what it replaces, unless
    // another name still holds it. One that cannot be deleted stays; the
    // entity goes all the same.
    SafeReplace::WipeAndRemove(Storages_[at]->FileName());
    Storages_.erase(Storages_.begin() + static_cast<std::ptrdiff_t>(at));
    Users_.erase(Users_.begin() + static_cast<std::ptrdiff_t>(at));
    Numbers_.erase(Numbers_.begin() + static_cast<std::ptrdiff_t>(at));
    --Count_;
    const int32_t active = ActiveIndex_ - 1;
    ActiveIndex_ = active >= 1 ? active : (Count_ > 0 ? 1 : 0);
    if (Listener_)
        Listener_->EntityRemoved(Index);

    RegistryFile_.WriteInteger(General, "Count", Count_);
    RegistryFile_.WriteInteger(General, "ActiveIndex", ActiveIndex_);
}
