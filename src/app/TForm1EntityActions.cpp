// The entity actions of the main window: register, fill in and remove an
// entity. The request form fills a record; the entity session stores it.
#include "app/TForm1.h"

#include <memory>

#include "app/steps/TEntitySession.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "store/TUserData.h"
#include "store/TFrmRequest.h"
#include "ui/TDialog.h"
#include "ui/Text1252.h"

void TForm1::RequestAddExecute()
{
    if (!session_)
        return;
    auto form = std::make_unique<TFrmRequest>(this, &session_->Registry(), Help);
    form->NewEntity = true;
    form->UserData = session_->BeginRegistration();

    // Whatever ends the registration, the window shows the entity that the
    // session holds active afterwards.
    try {
        if (form->exec() == mrOk)
            session_->CommitRegistration();
        else
            session_->CancelRegistration();
    } catch (...) {
        ShowEntityChange();
        throw;
    }
    ShowEntityChange();
}

void TForm1::RequestFillExecute()
{
    // The tip's link runs this step whatever the action's state; without an
    // active entity there is nothing to fill in.
    if (!session_ || !session_->ActiveEntity())
        return;

    auto form = std::make_unique<TFrmRequest>(this, &session_->Registry(), Help);
    if (TUserData* entity = session_->RecordToCorrect()) {
        // The registry's own record: the form's edits change it in memory.
        form->UserData = entity;
        form->LoadFromUserData();
    }
    if (form->exec() != mrOk)
        return;
    session_->StoreFilledIn(*form->UserData);
    ShowEntityChange();
}

void TForm1::RequestRemoveExecute()
{
    if (!session_ || !session_->ActiveEntity())
        return;
    // The question names the entity it removes: with the list narrowed by
    // a search the one shown is easily taken for another.
    const TUserData& entity = *session_->ActiveEntity();
    const char* type = entity.Tipo_Inscricao() == "02" ? Texts::ReqTypeCEI : Texts::ReqTypeCNPJ;
    const QString which =
        QString::fromStdString(FormatText(Texts::EntityRemoveWhich, {FromAnsi(entity.Razao).toStdString(), type,
                                                                     FromAnsi(entity.Inscricao()).toStdString()}));
    Dlg->SetDialogButtons(dtOKCancel, true);
    if (Dlg->Inform(Tr(Texts::EntityRemoveQuestion) + QLatin1Char('\n') + which) != mrOk)
        return;

    // A save that fails after the entity was dropped leaves its storage and
    // record freed: the window must not keep showing them.
    try {
        session_->RemoveActive();
    } catch (...) {
        ShowEntityChange();
        throw;
    }
    ShowEntityChange();
}
