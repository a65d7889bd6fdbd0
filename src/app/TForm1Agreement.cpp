// The service agreement: the menu action and the operation that shows the
// agreement form, also offered after a request has been sent.
#include "app/TForm1.h"

#include "agreement/TFrmContrato.h"
#include "agreement/TermEntity.h"
#include "app/steps/EntityRules.h"
#include "app/steps/TEntitySession.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"

#include <memory>

void TForm1::FileDealExecute()
{
    if (!session_)
        return;
    const TUserData* entity = session_->ActiveEntity();
    if (entity && !EntityRules::SignsAgreement(entity->Profile()))
        return;
    ShowAgreement();
}

void TForm1::ShowAgreement()
{
    AgreementFile = Paths.ProgramFile("ConvEmpr.rtf");
    TFrmContrato::Setup setup;
    setup.AgreementFile = AgreementFile;
    setup.DataDir = Paths.DataDir();
    setup.ProgramDir = Paths.ProgramDir();
    setup.Help = Help;
    // A fresh record, read from the active entity's storage file when the
    // term is made (the entity may have been filled in meanwhile).
    setup.LoadEntity = [this] {
        const TRequestFile* storage = session_ ? session_->ActiveStorage() : nullptr;
        return storage ? TermEntity::FromStorage(*storage) : TUserData();
    };
    // Made for this showing only and released afterwards, also when showing
    // fails.
    auto form = std::make_unique<TFrmContrato>(std::move(setup), this);
    form->exec();
}
