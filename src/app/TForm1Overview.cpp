// The main window's part of the overview of the entities: opening it, and
// making the entity chosen there the active one.
#include "app/TForm1.h"

#include "app/EntityOverviewDialog.h"
#include "app/steps/TEntitySession.h"
#include "ui/MessageBox.h"

#include <QLineEdit>

void TForm1::RequestOverviewExecute()
{
    if (!session_)
        return;
    if (!overview_) {
        overview_ = new EntityOverviewDialog(*session_, Help, this);
        connect(overview_, &EntityOverviewDialog::EntityChosen, this, &TForm1::OverviewChosen);
    }
    overview_->Reload();
    overview_->show();
    overview_->raise();
    overview_->activateWindow();
}

void TForm1::OverviewChosen(int Number)
{
    // A step in progress works on the entity it began with.
    if (!session_ || actionRunning_)
        return;
    int32_t position = 0;
    for (int32_t n = 1; n <= session_->Count() && position == 0; ++n)
        if (session_->Registry().Number(n) == Number)
            position = n;
    try {
        if (!session_->Select(position))
            return;
        // The selector shows the entity chosen, whatever was typed in its
        // search field.
        if (!EditEntitySearch->text().isEmpty())
            EditEntitySearch->clear();
        FillEntityList();
        ShowActiveView();
        SetActiveCaption();
        UpdateActionStates(true);
        UpdateTip();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()), this);
    }
}
