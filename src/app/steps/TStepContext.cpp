#include "app/steps/TStepContext.h"

#include "app/steps/KeyFileOperations.h"
#include "app/steps/StorageOperations.h"
#include "app/steps/TEntitySession.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "crypto/TRSAMedia.h"
#include "store/TUsersData.h"

TStepContext::TStepContext(TEntitySession& TheSession, const ProgramPaths& ThePaths, TStepQuestions& TheAsk,
                           KitLibraries& TheKit)
    : Session(TheSession), Registry(TheSession.Registry()), Paths(ThePaths), Ask(TheAsk), Kit(TheKit)
{
}

void TStepContext::Commit(StorageFile& Storage) const
{
    Session.CommitStorage(Storage);
}

TRequestFile* TStepContext::ActiveStorage() const
{
    const int32_t active = Registry.ActiveIndex();
    if (active < 1 || active > Registry.Count())
        return nullptr;
    return Registry.Storage(active);
}

std::unique_ptr<TRSAMedia> TStepContext::MediaFor(const std::string& FileName) const
{
    return std::make_unique<TRSAMedia>(Kit, FileName);
}

bool TStepContext::WipeAndReport(const std::string& FileName) const
{
    try {
        WipeKeyFile(FileName);
        return true;
    } catch (const std::exception& e) {
        Ask.Show(FormatText(Texts::KeyFileNotWiped, {FileName}) + e.what());
        return false;
    }
}
