#include "app/TForm1Questions.h"

#include "app/RemovableMediaDialog.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TForm1.h"
#include "app/steps/TEntitySession.h"
#include "crypto/TFrmPwd.h"
#include "crypto/TRSAMedia.h"
#include "base/Texts.h"
#include "ui/KeyboardRules.h"
#include "ui/TDialog.h"
#include "ui/MessageBox.h"
#include "ui/NameFilter.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

namespace {

TDialogButtons DialogButtons(TStepButtons Buttons)
{
    switch (Buttons) {
    case TStepButtons::YesNo:
    case TStepButtons::YesNoKeep: return dtYesNo;
    case TStepButtons::OKCancel:
    case TStepButtons::OKCancelKeep: return dtOKCancel;
    case TStepButtons::OK: break;
    }
    return dtOK;
}

bool KeepByDefault(TStepButtons Buttons)
{
    return Buttons == TStepButtons::YesNoKeep || Buttons == TStepButtons::OKCancelKeep;
}

class WindowPassword : public TPasswordAnswer {
public:
    WindowPassword(QWidget* Owner, HelpService* Help, KeyFilePwd::TPwdMode Mode, const std::string& Name)
        : Dialog_(new TFrmPwd(Owner, Help))
    {
        Result_ = Name.empty() ? Dialog_->Execute(Mode) : Dialog_->ExecuteFor(Mode, Name);
    }
    // The dialog zeroes its buffers when it is destroyed.
    ~WindowPassword() override { delete Dialog_; }
    int Result() const override { return Result_; }
    void GetPassword(std::string& P) const override { Dialog_->GetPassword(P); }
    void GetNewPassword(std::string& P) const override { Dialog_->GetNewPassword(P); }

private:
    TFrmPwd* Dialog_;
    int Result_ = 2;
};

class WindowSeedOwner : public SeedOwner {
public:
    explicit WindowSeedOwner(QWidget* Window) : window_(Window) {}
    void* KitWindow() const override { return window_; }

private:
    QWidget* window_;
};

// The help page of the step that asks for a file, by the dialog's title.
QString HelpTopicOfFileQuestion(const std::string& Title)
{
    if (Title == Texts::DiskTitle)
        return QStringLiteral("disk.htm");
    if (Title == Texts::ExportTitle || Title == Texts::ImportTitle)
        return QStringLiteral("export.htm");
    return QStringLiteral("how.htm");
}

bool RunFileDialog(QFileDialog* Dialog, const TFileQuestion& Q, std::string& FileName)
{
    Dialog->setWindowTitle(Tr(Q.Title.c_str()));
    KeyboardRules::SetHelpTopic(Dialog, HelpTopicOfFileQuestion(Q.Title));
    Dialog->setNameFilters(NameFilters(Q.Filter));
    if (!Q.Folder.empty())
        Dialog->setDirectory(QFile::decodeName(Q.Folder.c_str()));
    // The dialog is shared by the steps: with no name proposed, the name
    // that an earlier step chose must not be offered again.
    if (Q.ProposedName.empty()) {
        if (auto* name = Dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            name->clear();
    }
    Dialog->selectFile(FromAnsi(Q.ProposedName));
    if (Dialog->exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = Dialog->selectedFiles();
    if (chosen.isEmpty())
        return false;
    FileName = QFile::encodeName(chosen.front()).toStdString();
    return !FileName.empty();
}

TCustomItem* ItemOf(TCustomView* View, const std::string& Id)
{
    if (!View)
        return nullptr;
    for (int row = 0; row < View->count(); ++row) {
        if (TCustomItem* item = View->Item(row); item && item->Id == Id)
            return item;
    }
    return nullptr;
}

} // namespace

int TForm1Questions::Inform(const std::string& Text, TStepButtons Buttons)
{
    Form_.Dlg->SetDialogButtons(DialogButtons(Buttons), KeepByDefault(Buttons));
    return Form_.Dlg->Inform(QString::fromStdString(Text));
}

int TForm1Questions::Confirm(const std::string& Text, TStepButtons Buttons)
{
    Form_.Dlg->SetDialogButtons(DialogButtons(Buttons), KeepByDefault(Buttons));
    return Form_.Dlg->Confirm(QString::fromStdString(Text));
}

int TForm1Questions::Warn(const std::string& Text, TStepButtons Buttons)
{
    Form_.Dlg->SetDialogButtons(DialogButtons(Buttons), KeepByDefault(Buttons));
    return Form_.Dlg->Warn(QString::fromStdString(Text));
}

void TForm1Questions::Show(const std::string& Text)
{
    ShowMessage(QString::fromStdString(Text), &Form_);
}

int TForm1Questions::InsertMedium(const std::string& Text, const std::string& Drive)
{
    const int result = Inform(Text, TStepButtons::OKCancel);
    // No folder at all stands for the drive (a stick that was removed, a
    // folder never made): asking again would not help, so the user may
    // choose the folder; the step probes the drive again either way.
    if (result == mrOk && !QFileInfo(QFile::decodeName(Drive.c_str())).isDir())
        RemovableMediaDialog::Choose(&Form_, Form_.Paths);
    return result;
}

std::unique_ptr<TPasswordAnswer> TForm1Questions::AskPassword(KeyFilePwd::TPwdMode Mode,
                                                              const std::string& CertificateName)
{
    return std::make_unique<WindowPassword>(&Form_, Form_.Help, Mode, CertificateName);
}

bool TForm1Questions::ChooseOpenFile(const TFileQuestion& Question, std::string& FileName)
{
    return RunFileDialog(Form_.OpenFile(), Question, FileName);
}

bool TForm1Questions::ChooseSaveFile(const TFileQuestion& Question, std::string& FileName)
{
    QFileDialog* dialog = Form_.SaveFile();
    // The step asks about an existing file once it knows the name it writes.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    const bool chosen = RunFileDialog(dialog, Question, FileName);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    return chosen;
}

void TForm1Questions::GatherSeed(TRSAMedia& Media, std::string& Seed)
{
    // The mouse-seed dialog of key generation opens over the main window.
    WindowSeedOwner owner(&Form_);
    Media.GatherSeed(Seed, &owner);
}

void TForm1Questions::Repaint()
{
    // Painting only: a key or click queued meanwhile must not start another
    // action while this step holds the entity's storage.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm1Questions::Busy(bool On)
{
    if (On)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1Questions::CertificateAdded(const std::string& Id, const std::string& Name, bool Edit)
{
    Form_.ShowActiveView();
    TCustomItem* item = Form_.AddCertificateItem(Id, Name);
    if (item && Edit && Form_.ActiveView) {
        Form_.ActiveView->setCurrentItem(item);
        Form_.ActiveView->editItem(item);
    }
}

void TForm1Questions::CertificateChanged(const std::string& Id)
{
    TCustomItem* item = ItemOf(Form_.ActiveView, Id);
    if (!item || !Form_.Session() || !Form_.Session()->ActiveStorage())
        return;
    const TCertificateEntry certificate = Form_.Session()->Certificate(Id);
    if (!certificate.Name.empty())
        item->setText(FromAnsi(certificate.Name));
    Form_.ShowSigned(*item, certificate.Signed);
}

void TForm1Questions::CertificateRemoved(const std::string& Id)
{
    if (TCustomItem* item = ItemOf(Form_.ActiveView, Id)) {
        delete item;
        Form_.ActiveView->doItemsLayout();
    }
}
