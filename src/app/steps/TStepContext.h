#pragma once
// What every certificate step works on: the entity session (the registry,
// its active entity and storage file, and every save), the program's
// folders, the user's answers and the kit.
#include "app/steps/TStepQuestions.h"
#include "base/ProgramPaths.h"

#include <memory>
#include <string>

class KitLibraries;
class StorageFile;
class TEntitySession;
class TRSAMedia;
class TRequestFile;
class TUsersData;

class TStepContext {
public:
    TStepContext(TEntitySession& TheSession, const ProgramPaths& ThePaths, TStepQuestions& TheAsk,
                 KitLibraries& TheKit);

    TEntitySession& Session;
    TUsersData& Registry;
    const ProgramPaths& Paths;
    TStepQuestions& Ask;
    KitLibraries& Kit;

    // The active entity's storage file; null when there is no entity.
    TRequestFile* ActiveStorage() const;
    // Has the session save a storage file the step changed (see
    // TEntitySession::CommitStorage).
    void Commit(StorageFile& Storage) const;
    // A medium on an existing key file.
    std::unique_ptr<TRSAMedia> MediaFor(const std::string& FileName) const;
    // Wipes a temporary key file; a failure is told to the user (the step's
    // data work stands) and false is returned.
    bool WipeAndReport(const std::string& FileName) const;
};
