// The backup and restore menu action.
#include "app/TForm1.h"

#include "backup/TFrmBackup.h"

#include <memory>

void TForm1::FileBackupExecute()
{
    // Made for this use only and released afterwards. A restore closes this
    // window from inside the dialog; the dialog then ends as well.
    auto form = std::make_unique<TFrmBackup>(this, this);
    form->exec();
}
