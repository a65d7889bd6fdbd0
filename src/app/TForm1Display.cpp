// What the main window shows of the registry: the entity list and caption,
// the actions and the next-task text that the entity rules allow, and the
// certificate lists with their in-place renaming.
#include "app/TForm1.h"

#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TViews.h"
#include "app/steps/TEntitySession.h"
#include "base/LetterCase.h"
#include "base/Texts.h"
#include "store/EntitySearch.h"
#include "store/TUserData.h"
#include "ui/HtmlView.h"
#include "ui/MessageBox.h"
#include "ui/Pictures.h"
#include "ui/Text1252.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

// ---- entity list, caption, action rule, tip ---------------------------------

namespace {
// Item data of the selector: true on the active entity's item when it is
// listed only because it is the active one.
constexpr int kKeptActiveRole = Qt::UserRole + 1;
} // namespace

QString TForm1::EntityItemText(int n) const
{
    const TUserData* entity = session_ ? session_->Registry().Entity(n) : nullptr;
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
    // The active entity stays listed even when the search does not find it:
    // its certificates are the ones shown, and the selector must say whose
    // they are. It is marked, so that Enter counts only what was found.
    const int active = session_ ? session_->ActivePosition() : 0;
    for (int n = 1; session_ && n <= session_->Count(); ++n) {
        const bool found = MatchesEntitySearch(*session_->Registry().Entity(n), query);
        if (found || n == active) {
            cbxEntity->addItem(EntityItemText(n), n);
            cbxEntity->setItemData(cbxEntity->count() - 1, !found, kKeptActiveRole);
        }
    }
    SelectActiveItem();
}

void TForm1::SelectActiveItem()
{
    // By position, never by the text: two entities may share an inscription
    // (a restored or hand-made folder), and a Razao may hold anything.
    const int active = session_ ? session_->ActivePosition() : 0;
    cbxEntity->setCurrentIndex(active > 0 ? cbxEntity->findData(active) : -1);
}

void TForm1::EntitySearchAccepted()
{
    QList<int> found;
    for (int i = 0; i < cbxEntity->count(); ++i)
        if (!cbxEntity->itemData(i, kKeptActiveRole).toBool())
            found.append(i);
    if (found.size() == 1) {
        cbxEntity->setCurrentIndex(found.front());
        cbxEntityChange();
    } else if (found.size() > 1) {
        cbxEntity->setFocus();
        cbxEntity->showPopup();
    }
}

void TForm1::SetActiveCaption()
{
    const TUserData* entity = session_ ? session_->ActiveEntity() : nullptr;
    if (!entity) {
        setWindowTitle(Tr(Texts::AppTitle));
        return;
    }
    setWindowTitle(Tr(Texts::AppTitle) + Tr(Texts::ActiveEntityCaption) + FromAnsi(entity->Razao));
}

void TForm1::ShowActiveView()
{
    ActiveView = session_ && Views ? Views->ShowView(session_->ActivePosition()) : nullptr;
}

void TForm1::ShowEntityChange()
{
    ShowActiveView();
    if (ActiveView && session_->ActiveEntity())
        ActiveView->setToolTip(FromAnsi(session_->ActiveEntity()->Razao));
    SetActiveCaption();
    RefreshEntityList();
}

void TForm1::UpdateActionStates(bool ClosingStep)
{
    const TAllowedActions allowed = session_ ? session_->Allowed(ClosingStep) : TAllowedActions{};
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

void TForm1::UpdateTip()
{
    const char* text = Texts::TipRequestFill;
    switch (session_ ? session_->NextTask() : TNextTask::RequestAdd) {
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
    UpdateActionStates(session_ && session_->ActiveStorage() != nullptr);
    UpdateTip();
}

void TForm1::cbxEntityChange()
{
    if (!session_ || cbxEntity->count() == 0 || cbxEntity->currentIndex() < 0)
        return;
    if (!session_->Select(cbxEntity->currentData().toInt()))
        return;
    ShowActiveView();
    SetActiveCaption();
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
    const bool isSigned = session_ && session_->Certificate(Id).Signed;
    return AddCertificateItem(*ActiveView, {Id, Name, isSigned});
}

TCustomItem* TForm1::AddCertificateItem(TCustomView& View, const TCertificateEntry& Certificate)
{
    TCustomItem* item = View.AddItem(FromAnsi(Certificate.Name));
    item->Id = Certificate.Id;
    ShowSigned(*item, Certificate.Signed);
    return item;
}

void TForm1::ShowSigned(TCustomItem& Item, bool Signed)
{
    Item.setIcon(ImageList1.value(Signed ? 1 : 0));
    Item.setData(Qt::UserRole, Signed ? 1 : 0);
}

void TForm1::MarkItemSigned(const std::string& Name)
{
    if (!ActiveView)
        return;
    // The session's rule for certificate names, so that the item found is
    // the one the session calls by that name.
    for (int row = 0; row < ActiveView->count(); ++row) {
        TCustomItem* item = ActiveView->Item(row);
        if (LetterCase::SameText(ToAnsi(item->text()), Name)) {
            ShowSigned(*item, true);
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
    if (!Item || !ActiveView || !session_)
        return;
    switch (session_->RenameCertificate(Item->Id, ToAnsi(NewCaption))) {
    case TRenameResult::Renamed:
    case TRenameResult::Unchanged:
        // The list shows the name as stored (kept on one line).
        if (const std::string stored = session_->Certificate(Item->Id).Name; !stored.empty())
            NewCaption = FromAnsi(stored);
        break;
    case TRenameResult::Empty: NewCaption = Item->text(); break;
    case TRenameResult::Duplicate:
        NewCaption = Item->text();
        ShowMessage(Tr(Texts::CertificateNameNotUnique), this);
        break;
    }
}
