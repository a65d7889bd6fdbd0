// The certificate steps of the main window. Each handler answers the step's
// questions with the window's dialogs (TForm1Questions), runs the step's data
// work (app/steps) and refreshes the window.
#include "app/TForm1.h"

#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1Questions.h"
#include "app/steps/TCertificateCreation.h"
#include "app/steps/TCertificateExport.h"
#include "app/steps/TCertificateImport.h"
#include "app/steps/TCertificateMedium.h"
#include "app/steps/TEntitySession.h"
#include "app/steps/TRequestSending.h"
#include "app/steps/TStepContext.h"

#include <QAction>

bool TForm1::HaveActiveEntity() const
{
    return session_ && session_->ActiveEntity();
}

void TForm1::AfterStep()
{
    UpdateActionStates(true);
    UpdateTip();
}

void TForm1::FileNewExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
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
    TStepContext context(*session_, Paths, ask, *Kit);
    TCertificateCreation(context).FileRemove(item->Id);
    AfterStep();
}

void TForm1::FileDiskExecute()
{
    if (!HaveActiveEntity() || !ActiveView)
        return;
    TCustomItem* item = ActiveView->Selected();
    if (!item)
        return;
    const std::string id = item->Id;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    ShowActiveView();
    TCertificateMedium(context).FileDisk(id);
    AfterStep();
}

void TForm1::FileExportExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    TCertificateExport(context).FileExport();
    AfterStep();
}

void TForm1::FileImportExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    ShowActiveView();
    TCertificateImport(context).FileImport();
    AfterStep();
}

void TForm1::RequestSendExecute()
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    const TRequestSending::Outcome outcome = TRequestSending(context).RequestSend();
    AfterStep();
    if (outcome.ShowAgreement)
        ShowAgreement();
}
