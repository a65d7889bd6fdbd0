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

void TForm1::RunStep(const std::function<void(TStepContext&)>& Step)
{
    if (!HaveActiveEntity())
        return;
    TForm1Questions ask(*this);
    TStepContext context(*session_, Paths, ask, *Kit);
    Step(context);
    AfterStep();
}

TCustomItem* TForm1::SelectedCertificate() const
{
    if (!HaveActiveEntity() || !ActiveView)
        return nullptr;
    return ActiveView->Selected();
}

void TForm1::FileNewExecute()
{
    RunStep([](TStepContext& context) { TCertificateCreation(context).FileNew(); });
}

void TForm1::FileRemoveExecute()
{
    if (const TCustomItem* item = SelectedCertificate())
        RunStep([id = item->Id](TStepContext& context) { TCertificateCreation(context).FileRemove(id); });
}

void TForm1::FileDiskExecute()
{
    const TCustomItem* item = SelectedCertificate();
    if (!item)
        return;
    // A copy: the step works on while the view's items may change.
    const std::string id = item->Id;
    RunStep([this, &id](TStepContext& context) {
        ShowActiveView();
        TCertificateMedium(context).FileDisk(id);
    });
}

void TForm1::FileExportExecute()
{
    RunStep([](TStepContext& context) { TCertificateExport(context).FileExport(); });
}

void TForm1::FileImportExecute()
{
    RunStep([this](TStepContext& context) {
        ShowActiveView();
        TCertificateImport(context).FileImport();
    });
}

void TForm1::RequestSendExecute()
{
    bool showAgreement = false;
    RunStep([&showAgreement](TStepContext& context) {
        showAgreement = TRequestSending(context).RequestSend().ShowAgreement;
    });
    if (showAgreement)
        ShowAgreement();
}
