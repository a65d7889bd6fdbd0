// What the main window shows of the registry: the entity list and caption,
// the actions and the next-task text that the entity rules allow, and the
// certificate lists with their in-place renaming.
#include "app/TForm1.h"

#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TViews.h"
#include "app/steps/EntityRules.h"
#include "base/Texts.h"
#include "store/EntitySearch.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "ui/HtmlView.h"
#include "ui/MessageBox.h"
#include "ui/Pictures.h"
#include "ui/Text1252.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace {

const char* const kGeneral = "General";

} // namespace

// ---- entity list, caption, action rule, tip ---------------------------------

QString TForm1::EntityItemText(int n) const
{
    const TUserData* entity = Registry ? Registry->Entity(n) : nullptr;
    if (!entity)
        return {};
    return QString::number(n) + QStringLiteral(" - ") + FromAnsi(entity->Razao) + QStringLiteral(" (")
           + FromAnsi(entity->Inscricao()) + QStringLiteral(")");
}

void TForm1::FillEntityList()
{
    const std::string query = EditEntitySearch ? ToAnsi(EditEntitySearch->text()) : std::string();
    const QSignalBlocker quiet(cbxEntity);
    cbxEntity->clear();
    for (int n = 1; Registry && n <= Registry->Count(); ++n)
        if (MatchesEntitySearch(*Registry->Entity(n), query))
            cbxEntity->addItem(EntityItemText(n), n);
    SelectActiveItem();
}

void TForm1::SelectActiveItem()
{
    // By position, never by the text: two entities may share an inscription
    // (a restored or hand-made folder), and a Razao may hold anything.
    const int active = Registry ? Registry->ActiveIndex() : 0;
    cbxEntity->setCurrentIndex(active > 0 ? cbxEntity->findData(active) : -1);
}

void TForm1::EntitySearchAccepted()
{
    if (cbxEntity->count() == 1) {
        cbxEntity->setCurrentIndex(0);
        cbxEntityChange();
    } else if (cbxEntity->count() > 1) {
        cbxEntity->setFocus();
        cbxEntity->showPopup();
    }
}

void TForm1::SetActiveCaption()
{
    if (!ActiveEntity) {
        setWindowTitle(Tr(Texts::AppTitle));
        return;
    }
    setWindowTitle(Tr(Texts::AppTitle) + Tr(Texts::ActiveEntityCaption) + FromAnsi(ActiveEntity->Razao));
}

void TForm1::FollowEntity(int32_t Position)
{
    ActiveEntity = Registry->Entity(Position);
    ActiveView = Views->ShowView(Position);
    ActiveStorage = Registry->Storage(Position);
}

void TForm1::UpdateActionStates(bool ClosingStep)
{
    ApplyActionRule(Registry && Registry->Count() > 0, ClosingStep);
}

void TForm1::ApplyActionRule(bool HaveEntities, bool ClosingStep)
{
    const TAllowedActions allowed =
        EntityRules::Allowed(EntityRules::StateOf(HaveEntities, ActiveStorage), ClosingStep);
    const std::pair<QAction*, bool> actions[] = {
        {FileNew, allowed.FileNew},
        {FileDeal, allowed.FileDeal},
        {FileRemove, allowed.FileRemove},
        {FileRename, allowed.FileRename},
        {FileDisk, allowed.FileDisk},
        {FileImport, allowed.FileImport},
        {FileExport, allowed.FileExport},
        {RequestFill, allowed.RequestFill},
        {RequestRemove, allowed.RequestRemove},
        {RequestSend, allowed.RequestSend},
        {RequestReceive, allowed.RequestReceive},
    };
    for (const auto& [action, enabled] : actions)
        action->setEnabled(enabled);
}

bool TForm1::AllCertificatesSigned()
{
    return EntityRules::AllCertificatesSigned(ActiveStorage);
}

void TForm1::UpdateTip()
{
    const char* text = Texts::TipRequestFill;
    switch (EntityRules::NextTask(EntityRules::StateOf(Registry && Registry->Count() > 0, ActiveStorage))) {
    case TNextTask::RequestAdd: text = Texts::TipRequestAdd; break;
    case TNextTask::RequestFill: text = Texts::TipRequestFill; break;
    case TNextTask::FileNew: text = Texts::TipFileNew; break;
    case TNextTask::RequestSend: text = Texts::TipRequestSend; break;
    case TNextTask::RequestReceive: text = Texts::TipRequestReceive; break;
    case TNextTask::FileDisk: text = Texts::TipFileDisk; break;
    }
    Tip->LoadFromString(std::string(text));
}

void TForm1::RefreshEntityList()
{
    FillEntityList();
    UpdateActionStates(ActiveStorage != nullptr);
    UpdateTip();
}

void TForm1::cbxEntityChange()
{
    if (!Registry || cbxEntity->count() == 0 || cbxEntity->currentIndex() < 0)
        return;
    const int position = cbxEntity->currentData().toInt();
    if (position < 1 || position > Registry->Count())
        return;
    if (!Registry->Activate(position))
        return;
    FollowEntity(Registry->ActiveIndex());
    SetActiveCaption();
    RegistryFile->WriteInteger(kGeneral, "ActiveIndex", Registry->ActiveIndex());
    RegistryFile->UpdateFile();
    UpdateActionStates(true);
    UpdateTip();
}

void TForm1::TipHotSpotClick(const QString& Target)
{
    struct Step {
        const char* name;
        void (TForm1::*handler)();
    };
    static const Step steps[] = {
        {"RequestFill", &TForm1::RequestFillExecute},
        {"RequestAdd", &TForm1::RequestAddExecute},
        {"FileNew", &TForm1::FileNewExecute},
        {"RequestSend", &TForm1::RequestSendExecute},
        {"RequestReceive", &TForm1::RequestReceiveExecute},
        {"FileDisk", &TForm1::FileDiskExecute},
    };
    for (const Step& step : steps) {
        if (Target.compare(QLatin1String(step.name), Qt::CaseInsensitive) == 0) {
            (this->*step.handler)();
            return;
        }
    }
}

// ---- certificate list views ---------------------------------------------------

TCustomItem* TForm1::AddCertificateItem(const std::string& Id, const std::string& Name)
{
    if (Id.empty() || Name.empty() || !ActiveView)
        return nullptr;
    TCustomItem* item = ActiveView->AddItem(FromAnsi(Name));
    item->Id = Id;
    const bool isSigned = ActiveStorage && ActiveStorage->ReadBool(Id, "Signed", false);
    item->setIcon(ImageList1.value(isSigned ? 1 : 0));
    item->setData(Qt::UserRole, isSigned ? 1 : 0);
    return item;
}

void TForm1::MarkItemSigned(const std::string& Name)
{
    if (!ActiveView)
        return;
    const QString caption = FromAnsi(Name);
    for (int row = 0; row < ActiveView->count(); ++row) {
        TCustomItem* item = ActiveView->Item(row);
        if (item->text().compare(caption, Qt::CaseInsensitive) == 0) {
            item->setIcon(ImageList1.value(1));
            item->setData(Qt::UserRole, 1);
            return;
        }
    }
}

void TForm1::FileRenameExecute()
{
    if (!ActiveView)
        return;
    if (TCustomItem* item = ActiveView->Selected())
        ActiveView->editItem(item);
}

void TForm1::ViewEdited(TCustomItem* Item, QString& NewCaption)
{
    if (!Item || !ActiveView)
        return;
    // A certificate without a name gets no item at the next start, and could
    // then no longer be selected for any step: the edit is undone.
    if (NewCaption.isEmpty()) {
        NewCaption = Item->text();
        return;
    }
    for (int row = 0; row < ActiveView->count(); ++row) {
        TCustomItem* other = ActiveView->Item(row);
        if (other != Item && other->text().compare(NewCaption, Qt::CaseInsensitive) == 0) {
            NewCaption = Item->text();
            ShowMessage(Tr(Texts::CertificateNameNotUnique), this);
            return;
        }
    }
    if (NewCaption == Item->text())
        return;
    if (ActiveStorage) {
        ActiveStorage->WriteString(Item->Id, "Name", ToAnsi(NewCaption));
        // Saved at once, like every other change: a rename must not wait for
        // shutdown (a crash or a restore would lose it).
        ActiveStorage->UpdateFile();
    }
}
