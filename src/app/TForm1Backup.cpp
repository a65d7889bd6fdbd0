// The backup and restore menu action.
#include "app/TForm1.h"

#include "app/steps/TEntitySession.h"
#include "backup/TFrmBackup.h"

std::unique_ptr<TFrmBackup> TForm1::MakeBackupDialog()
{
    auto form = std::make_unique<TFrmBackup>(
        Paths,
        [this] {
            if (session_)
                session_->StampFingerprints(*Kit);
        },
        Help, this);
    form->CountCurrentData = [this] {
        RestoreSafety::CurrentData current;
        if (!session_)
            return current;
        current.Entities = session_->Count();
        for (int32_t i = 1; i <= session_->Count(); ++i)
            current.Certificates += static_cast<int>(session_->Certificates(i).size());
        return current;
    };
    // After a restore the data in memory no longer match the disk: nothing
    // is written at shutdown, and reinit starts the program again.
    connect(form.get(), &TFrmBackup::RestoreDone, this, [this] {
        Restored = 1;
        SetRestartFlag(1);
        close();
    });
    return form;
}

void TForm1::FileBackupExecute()
{
    // Made for this use only and released afterwards. A restore closes this
    // window from inside the dialog; the dialog then ends as well.
    auto form = MakeBackupDialog();
    form->exec();
}
