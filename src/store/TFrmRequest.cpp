#include "store/TFrmRequest.h"
#include "ui/KeyboardRules.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <initializer_list>

#include "ui/TDialog.h"
#include "help/HelpService.h"
#include "store/RequestFieldRules.h"
#include "store/TUsersData.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"

namespace {

// The 27 state codes, in the order the list shows them.
const char* const StateCodes[] = {"AC", "AL", "AM", "AP", "BA", "CE", "DF", "ES", "GO", "MA", "MG", "MS", "MT", "PA",
                                  "PB", "PE", "PI", "PR", "RJ", "RN", "RO", "RR", "RS", "SC", "SE", "SP", "TO"};

QString ToQString(const std::u16string& Text)
{
    return QString::fromStdU16String(Text);
}

std::u16string ToU16(const QString& Text)
{
    return Text.toStdU16String();
}

} // namespace

TFrmRequest::TFrmRequest(QWidget* Owner, TUsersData* Registry_, HelpService* Help)
    : QDialog(Owner), Registry(Registry_), Help_(Help)
{
    FormCreate();
    KeyboardRules::AddFreeLetters(this);
}

TFrmRequest::~TFrmRequest() = default;

void TFrmRequest::FormCreate()
{
    setObjectName(QStringLiteral("FrmRequest"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    BuildPages();

    ComboProfiles->addItem(Tr(Texts::ReqProfileCompany));
    ComboTypeId->addItem(Tr(Texts::ReqTypeCNPJ));
    ComboTypeId->addItem(Tr(Texts::ReqTypeCEI));
    for (const char* code : StateCodes)
        ComboUF->addItem(QString::fromLatin1(code));

    QuestionBox = new TDialog(this);
    QuestionBox->Caption = Tr(Texts::AppTitle);

    ComboProfiles->setCurrentIndex(0);
    ComboTypeId->setCurrentIndex(0);
    ComboUF->setCurrentIndex(-1);
    OwnUserData_ = std::make_unique<TUserData>();
    UserData = OwnUserData_.get();
    PageControl1->setCurrentIndex(0);
    NewEntity = false;
}

// ---- key filters ------------------------------------------------------------

void TFrmRequest::EditNumericKeyPress(QChar& Key)
{
    Key = QChar(FilterFieldKey(TFieldFilter::Numeric, Key.unicode()));
}

void TFrmRequest::EditIdKeyPress(QChar& Key, bool Letters)
{
    Key = QChar(FilterFieldKey(Letters ? TFieldFilter::CnpjId : TFieldFilter::Numeric, Key.unicode()));
}

void TFrmRequest::EditAlfaKeyPress(QChar& Key)
{
    Key = QChar(FilterFieldKey(TFieldFilter::Letters, Key.unicode()));
}

void TFrmRequest::EditAllKeyPress(QChar& Key)
{
    Key = QChar(FilterFieldKey(TFieldFilter::Address, Key.unicode()));
}

bool TFrmRequest::FilterKey(QLineEdit* Edit, KeyFilter Filter, QKeyEvent* Event)
{
    // Pasting would bring in text that never went through the filter.
    if (Event->matches(QKeySequence::Paste))
        return true;
    switch (Event->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return false;
    default: break;
    }
    const QString text = Event->text();
    if (text.isEmpty())
        return false; // cursor movement and the like: no character typed
    // Selecting, copying, cutting and undoing only work on what the field
    // already holds, which went through the filter: the edit does them.
    for (const QKeySequence::StandardKey editing :
         {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo}) {
        if (Event->matches(editing))
            return false;
    }
    // Any other Control combination types a control character, which the
    // filters refuse (AltGr, reported as Control+Alt on some systems, types
    // letters).
    const Qt::KeyboardModifiers mods = Event->modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier))
        return true;

    TFieldFilter rule = TFieldFilter::Numeric;
    switch (Filter) {
    case KeyFilter::Numeric: rule = TFieldFilter::Numeric; break;
    case KeyFilter::Identifier:
        rule =
            ComboTypeId->currentIndex() != EntityRegistration::TypeCEI ? TFieldFilter::CnpjId : TFieldFilter::Numeric;
        break;
    case KeyFilter::Alfa: rule = TFieldFilter::Letters; break;
    case KeyFilter::All: rule = TFieldFilter::Address; break;
    case KeyFilter::None: return false;
    }
    // What is typed replaces the selection, or goes in at the cursor.
    const QString current = Edit->text();
    const int from = Edit->hasSelectedText() ? Edit->selectionStart() : Edit->cursorPosition();
    const int to = Edit->hasSelectedText() ? Edit->selectionEnd() : from;
    const int limit = Edit->maxLength() < 32767 ? Edit->maxLength() : 0;
    const TFieldInput input =
        FilterFieldInput(rule, ToU16(current.left(from)), ToU16(text), ToU16(current.mid(to)), std::size_t(limit));
    for (Note& note : Notes_) {
        if (note.edit == Edit) {
            note.note.Record(input);
            ShowNote(Edit);
        }
    }
    const QString accepted = ToQString(input.Inserted);
    if (accepted == text)
        return false;
    if (accepted.isEmpty())
        return true;
    // Deliver the changed character (a capital) as if it had been typed; the
    // filter sees it again and lets it through unchanged.
    QKeyEvent changed(Event->type(), Event->key(), Event->modifiers(), accepted, Event->isAutoRepeat(),
                      ushort(Event->count()));
    QCoreApplication::sendEvent(Edit, &changed);
    return true;
}

bool TFrmRequest::PersonFieldEnter(QLineEdit* Edit, QKeyEvent* Event)
{
    if ((Edit != EdtResp && Edit != EdtCpfResp) || (Event->key() != Qt::Key_Return && Event->key() != Qt::Key_Enter))
        return false;
    // With no person typed Enter is OK for the whole form, as elsewhere.
    if (EdtResp->text().trimmed().isEmpty() && EdtCpfResp->text().isEmpty())
        return false;
    // Enter here means "this person": from the name on to the CPF while that
    // is empty, else the person is added when the name and CPF allow it.
    if (Edit == EdtResp && EdtCpfResp->text().isEmpty())
        EdtCpfResp->setFocus(Qt::TabFocusReason);
    else
        BtnAdicionarClick();
    return true;
}

bool TFrmRequest::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* edit = qobject_cast<QLineEdit*>(Watched);
    if (!edit)
        return QDialog::eventFilter(Watched, Event);

    switch (Event->type()) {
    case QEvent::KeyPress:
        if (PersonFieldEnter(edit, static_cast<QKeyEvent*>(Event)))
            return true;
        for (const auto& [filtered, filter] : Filters_) {
            if (filtered == edit)
                return FilterKey(edit, filter, static_cast<QKeyEvent*>(Event));
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        // The middle button pastes the selection on X11.
        if (edit->contextMenuPolicy() == Qt::PreventContextMenu
            && static_cast<QMouseEvent*>(Event)->button() == Qt::MiddleButton)
            return true;
        break;
    case QEvent::FocusOut:
        if (edit == EdtCpfResp) {
            // Only a move to another control of this form counts as leaving
            // the field, not a switch to another window.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(Event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                EdtCpfRespExit();
        }
        break;
    default: break;
    }
    return QDialog::eventFilter(Watched, Event);
}

// ---- showing and loading ----------------------------------------------------

void TFrmRequest::showEvent(QShowEvent* Event)
{
    FormShow();
    QDialog::showEvent(Event);
}

void TFrmRequest::FormShow()
{
    setWindowTitle(Tr(NewEntity ? Texts::ReqCaptionNew : Texts::ReqCaptionRequest));
    // The keyboard starts on the identifier (the profile list offers one
    // choice only), so a CNPJ typed at once lands where it belongs.
    if (PageControl1->currentWidget() == TabId)
        EditId->setFocus(Qt::OtherFocusReason);
}

void TFrmRequest::LoadFromUserData()
{
    const TUserData& record = *UserData;
    // What the filters did to earlier typing no longer concerns these texts.
    for (Note& note : Notes_)
        note.note.Clear();

    // Profiles: a stored code that the list no longer offers leaves it
    // without a selection, so that the user must choose again; an unknown
    // code leaves the list as it is.
    const int profile = EntityRegistration::ProfilePosition(record.Profile());
    if (profile >= 0)
        ComboProfiles->setCurrentIndex(profile < ComboProfiles->count() ? profile : -1);

    const int type = EntityRegistration::TypePosition(record.Tipo_Inscricao());
    ComboTypeId->setCurrentIndex(type >= 0 && type < ComboTypeId->count() ? type : -1);

    EditId->setText(FromAnsi(EntityRegistration::ShownId(record.Inscricao(), ComboTypeId->currentIndex())));
    EditName->setText(FromAnsi(record.Razao));
    EditPhone->setText(FromAnsi(record.Telefone));
    EditAddress->setText(FromAnsi(record.Endereco));
    EditLocale->setText(FromAnsi(record.Bairro));
    EditCity->setText(FromAnsi(record.Cidade));
    EditZip->setText(FromAnsi(record.CEP));

    const QString uf = FromAnsi(record.UF);
    for (int i = 0; i < ComboUF->count(); ++i) {
        if (ComboUF->itemText(i).compare(uf, Qt::CaseInsensitive) == 0) {
            ComboUF->setCurrentIndex(i);
            break;
        }
    }

    EditMail->setText(FromAnsi(record.Email));

    const std::size_t respLength = record.Resp ? record.Resp->size() : 0;
    BtnRemover->setEnabled(respLength > 0);
    RespCounter = int32_t(respLength / 2);
    ltvResp->clear();
    for (std::size_t i = 0; i + 1 < respLength; i += 2) {
        auto* row = new QTreeWidgetItem(ltvResp);
        row->setText(0, QString::number(i / 2 + 1));
        row->setText(1, FromAnsi((*record.Resp)[i]));
        row->setText(2, FromAnsi((*record.Resp)[i + 1]));
    }
}

// ---- responsible persons ----------------------------------------------------

void TFrmRequest::EdtCpfRespExit()
{
    const std::string cpf = ToAnsi(EdtCpfResp->text());
    const std::string padded = EntityRegistration::CompletedCpf(cpf);
    if (padded != cpf)
        EdtCpfResp->setText(FromAnsi(padded));
}

TRespProblem TFrmRequest::AddPerson(bool Quiet)
{
    // Normally done when the click took the focus from the CPF field; a click
    // that arrives without that focus change gets the same completed CPF.
    EdtCpfRespExit();
    const QString name = ToQString(TidySpaces(ToU16(EdtResp->text())));
    const QString cpf = EdtCpfResp->text();
    std::vector<std::string> listed;
    for (int i = 0; i < ltvResp->topLevelItemCount(); ++i)
        listed.push_back(ToAnsi(ltvResp->topLevelItem(i)->text(2)));
    const TRespProblem problem = CheckResponsible(ToAnsi(name), ToAnsi(cpf), listed);
    if (problem != TRespProblem::None) {
        if (!Quiet) {
            ShowMessage(QString::fromStdString(RespProblemText(problem, cpf.toStdString())), this);
            (problem == TRespProblem::NoName ? EdtResp : EdtCpfResp)->setFocus(Qt::OtherFocusReason);
        }
        return problem;
    }
    ++RespCounter;
    auto* row = new QTreeWidgetItem(ltvResp);
    row->setText(0, QString::number(RespCounter));
    row->setText(1, name);
    row->setText(2, cpf);
    EdtResp->clear();
    EdtCpfResp->clear();
    BtnRemover->setEnabled(true);
    return TRespProblem::None;
}

void TFrmRequest::BtnAdicionarClick()
{
    if (AddPerson(false) == TRespProblem::None)
        EdtResp->setFocus(Qt::OtherFocusReason); // ready for the next person
}

bool TFrmRequest::SettlePendingPerson()
{
    if (EdtResp->text().trimmed().isEmpty() && EdtCpfResp->text().isEmpty())
        return true;
    const QString name = EdtResp->text();
    EdtCpfRespExit();
    const QString cpf = EdtCpfResp->text();
    const TRespProblem problem = AddPerson(true);
    if (problem == TRespProblem::None)
        return true;
    const std::string question = FormatText(
        Texts::ReqRespPending, {name.toStdString(), cpf.toStdString(), RespProblemText(problem, cpf.toStdString())});
    if (AskYesNo(QString::fromStdString(question), true))
        return true;
    PageControl1->setCurrentWidget(TabResp);
    (problem == TRespProblem::NoName ? EdtResp : EdtCpfResp)->setFocus(Qt::OtherFocusReason);
    return false;
}

void TFrmRequest::TidyWordFields()
{
    for (QLineEdit* edit : {EditName, EditAddress, EditLocale, EditCity}) {
        const QString tidy = ToQString(TidySpaces(ToU16(edit->text())));
        if (tidy != edit->text())
            edit->setText(tidy);
    }
}

void TFrmRequest::BtnRemoverClick()
{
    const QList<QTreeWidgetItem*> selected = ltvResp->selectedItems();
    if (selected.isEmpty()) {
        ShowMessage(Tr(Texts::ReqSelectResp), this);
        return;
    }
    delete selected.first();
    --RespCounter;
    if (ltvResp->topLevelItemCount() == 0)
        BtnRemover->setEnabled(false);
}

// ---- accepting ----------------------------------------------------------------

TRegistrationFields TFrmRequest::Fields() const
{
    TRegistrationFields fields;
    fields.ProfilePosition = ComboProfiles->currentIndex();
    fields.TypePosition = ComboTypeId->currentIndex();
    fields.Id = ToAnsi(EditId->text());
    fields.Name = ToAnsi(EditName->text());
    fields.Phone = ToAnsi(EditPhone->text());
    fields.Address = ToAnsi(EditAddress->text());
    fields.Locale = ToAnsi(EditLocale->text());
    fields.City = ToAnsi(EditCity->text());
    fields.Zip = ToAnsi(EditZip->text());
    fields.State = ComboUF->currentIndex() < 0 ? std::string() : ToAnsi(ComboUF->currentText());
    fields.Mail = ToAnsi(EditMail->text());
    for (int i = 0; i < ltvResp->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = ltvResp->topLevelItem(i);
        fields.Persons.emplace_back(ToAnsi(row->text(1)), ToAnsi(row->text(2)));
    }
    return fields;
}

void TFrmRequest::ButtonOKClick()
{
    TidyWordFields();
    const TEntityRegistrationCheck check(Registry, NewEntity, UserData);
    std::vector<TRegistrationProblem> problems = check.Check(Fields());
    // The address page, then the identification page.
    if (!problems.empty() && problems.front() == TRegistrationProblem::AddressMissing) {
        ShowMessage(Tr(Texts::ReqAddressMissing), this);
        return;
    }
    if (!problems.empty() && problems.front() == TRegistrationProblem::IdMissing) {
        ShowMessage(Tr(Texts::ReqIdMissing), this);
        return;
    }
    // A person typed but not added is not lost without a word.
    if (!SettlePendingPerson())
        return;
    const TRegistrationFields fields = Fields();
    problems = check.Check(fields);
    if (!problems.empty() && problems.front() == TRegistrationProblem::NoPerson) {
        ShowMessage(Tr(Texts::ReqNoResp), this);
        PageControl1->setCurrentWidget(TabResp);
        return;
    }
    // The identifier completed to its full length, visibly.
    const std::string id = EntityRegistration::CompletedId(fields.Id, fields.TypePosition);
    if (id != fields.Id)
        EditId->setText(FromAnsi(id));
    for (const TRegistrationProblem problem : problems) {
        if (problem == TRegistrationProblem::IdCheckDigits) {
            // Advisory: the user may keep the number.
            const QString question = QString::fromStdString(FormatText(
                Texts::ReqIdInvalid, {FromAnsi(id).toStdString(), ComboTypeId->currentText().toStdString()}));
            if (AskYesNo(question)) {
                PageControl1->setCurrentWidget(TabId);
                EditId->setFocus();
                return;
            }
        } else {
            ShowMessage(Tr(Texts::ReqIdTaken), this);
            return;
        }
    }
    TEntityRegistrationCheck::Write(fields, *UserData);
    done(mrOk);
}

void TFrmRequest::ButtonHelpClick()
{
    emit HelpRequested(HelpTopic());
    if (Help_)
        Help_->ShowTopic(HelpTopic());
}

QString TFrmRequest::HelpTopic() const
{
    return NewEntity ? QStringLiteral("newentity.htm") : QStringLiteral("request.htm");
}

void TFrmRequest::reject()
{
    done(mrCancel);
}

bool TFrmRequest::AskYesNo(const QString& Text, bool KeepByDefault)
{
    QuestionBox->SetDialogButtons(dtYesNo, KeepByDefault);
    QuestionBox->DialogType = mtConfirmation;
    return QuestionBox->Execute(Text) == mrYes;
}
