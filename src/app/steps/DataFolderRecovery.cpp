#include "app/steps/DataFolderRecovery.h"

#include "app/steps/KeyFileOperations.h"
#include "base/ReplaceJournal.h"
#include "base/SafeReplace.h"

int RecoverDataFolder(const std::string& DataDir)
{
    // First, while the restore's new files and old versions, which are
    // temporaries, are still there.
    if (const int error = ReplaceJournal::Recover(DataDir))
        return error;
    // No client writes here now but this one, so every writer of a
    // temporary is gone.
    SafeReplace::RemoveStaleTemporaries(DataDir);
    // So is every step that wrote a key file out for one operation.
    RemoveLeftoverKeyFiles(DataDir);
    return 0;
}
