// The certificate steps of the main window. Each handler answers the step's
// questions with the window's dialogs (TForm1Questions), runs the step's data
// work (app/steps) and refreshes the window.
#include "app/TForm1.h"

#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1Questions.h"
#include "app/steps/TCertificateCreation.h"
#include "app/steps/TStepContext.h"
#include "store/TRequestFile.h"
#include "store/TUsersData.h"

#include <QAction>

bool TForm1::HaveActiveEntity() const
{
    return Registry && Registry->ActiveIndex() >= 1 && Registry->ActiveIndex() <= Registry->Count();
}

void TForm1::AfterStep()
{
    if (HaveActiveEntity())
        ActiveStorage = Registry->Storage(Registry->ActiveIndex());
    UpdateActionStates(true);
    UpdateTip();
}

void TForm1::FileNewExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*Registry, Paths, ask);
    ActiveStorage = Registry->Storage(Registry->ActiveIndex());
    TCertificateCreation(context).FileNew();
    AfterStep();
}

void TForm1::FileRemoveExecute()
{
    if (!HaveActiveEntity() || !ActiveView)
        return;
    TCustomItem* item = ActiveView->Selected();
    if (!item)
        return;
    TForm1Questions ask(*this);
    TStepContext context(*Registry, Paths, ask);
    ActiveStorage = Registry->Storage(Registry->ActiveIndex());
    TCertificateCreation(context).FileRemove(item->Id);
    AfterStep();
}

void TForm1::FileDiskExecute() {}
void TForm1::FileImportExecute() {}
void TForm1::FileExportExecute() {}
void TForm1::RequestSendExecute() {}
