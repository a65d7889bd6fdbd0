#pragma once
// What every certificate step works on: the registry (its active entity and
// storage file), the program's folders, the user's answers and the kit.
#include "app/steps/TStepQuestions.h"
#include "base/ProgramPaths.h"

#include <memory>
#include <string>

class KitLibraries;
class TRSAMedia;
class TRequestFile;
class TUsersData;

class TStepContext {
public:
    TStepContext(TUsersData& TheRegistry, const ProgramPaths& ThePaths, TStepQuestions& TheAsk, KitLibraries& TheKit)
        : Registry(TheRegistry), Paths(ThePaths), Ask(TheAsk), Kit(TheKit)
    {
    }

    TUsersData& Registry;
    const ProgramPaths& Paths;
    TStepQuestions& Ask;
    KitLibraries& Kit;

    // The active entity's storage file; null when there is no entity.
    TRequestFile* ActiveStorage() const;
    // A medium on an existing key file.
    std::unique_ptr<TRSAMedia> MediaFor(const std::string& FileName) const;
    // Wipes a temporary key file; a failure is told to the user (the step's
    // data work stands) and false is returned.
    bool WipeAndReport(const std::string& FileName) const;
};
