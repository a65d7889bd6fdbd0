#include "agreement/TFrmContrato.h"
#include "help/HelpService.h"
#include "ui/KeyboardRules.h"

#include "ui/NameFilter.h"
#include "ui/WaitCursor.h"

#include "agreement/TSablotEngine.h"
#include "agreement/TermGenerator.h"
#include "agreement/TermXml.h"
#include "base/EntityNaming.h"
#include "base/BoundedFileReader.h"
#include "base/FileErrors.h"
#include "base/SafeReplace.h"
#include "base/Texts.h"
#include "store/TUserData.h"
#include "ui/HtmlView.h"
#include "ui/MessageBox.h"
#include "ui/RtfReader.h"
#include "ui/Text1252.h"
#include "ui/PortugueseFileColumns.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstring>
#include <exception>

namespace {

// The agreement text is read whole; a larger file is no agreement text.
constexpr std::size_t MaxAgreementSize = 16 * 1024 * 1024;

// Texts of the table may hold CR LF or a lone CR as line breaks.
QString Lines(const char* Utf8)
{
    QString text = Tr(Utf8);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString LocalName(const std::string& Path)
{
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

std::string LocalPath(const QString& Path)
{
    return QFile::encodeName(Path).toStdString();
}

} // namespace

TFrmContrato::TFrmContrato(Setup Options, QWidget* parent)
    : QDialog(parent), setup_(std::move(Options)), engine_(std::make_unique<TSablotEngine>())
{
    setup_.DataDir = QDir(LocalName(setup_.DataDir)).absolutePath().toStdString() + "/";
    setup_.ProgramDir = QDir(LocalName(setup_.ProgramDir)).absolutePath().toStdString() + "/";
    setObjectName(QStringLiteral("FrmContrato"));
    setWindowTitle(Tr(Texts::AgrCaption));
    CreateComponents();

    // 1. Flags, page path and the buttons that need an accepted agreement.
    TermPrinted = TermSaved = false;
    HtmlPath.clear();
    btnImprimir->setEnabled(false);
    btnTermo->setEnabled(false);
    btnFinalizar->setEnabled(false);

    // 2. The agreement text.
    QString error;
    if (!LoadAgreement(error)) {
        ShowMessage(Tr(Texts::AgrReadError) + error, this);
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }

    // 3. Not accepted yet; the agreement page; the save dialog's folder.
    cbAceito->setChecked(false);
    ShowAgreementPage();
    const QString documents = LocalName(setup_.DataDir) + QStringLiteral("documentos");
    QDir().mkpath(documents);
    SaveDialog->setDirectory(documents);
    memHelp->clear();
}

TFrmContrato::~TFrmContrato() = default;

void TFrmContrato::CreateComponents()
{
    resize(780, 540);

    memHelp = new QPlainTextEdit(this);
    memHelp->setObjectName(QStringLiteral("memHelp"));
    memHelp->setReadOnly(true);
    memHelp->setFixedWidth(190);
    memHelp->setFocusPolicy(Qt::NoFocus);
    memHelp->setAccessibleName(Tr(Texts::AccAgreementHelp));

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));

    tsContrato = new QWidget;
    tsContrato->setObjectName(QStringLiteral("tsContrato"));
    tsContrato->setWindowTitle(Tr(Texts::AgrPageContract));
    reContrato = new QTextEdit(tsContrato);
    reContrato->setObjectName(QStringLiteral("reContrato"));
    reContrato->setReadOnly(true);
    reContrato->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    reContrato->setAccessibleName(Tr(Texts::AccAgreementText));
    cbAceito = new QCheckBox(Tr(Texts::AgrAccept), tsContrato);
    cbAceito->setObjectName(QStringLiteral("cbAceito"));
    auto* contractLayout = new QVBoxLayout(tsContrato);
    contractLayout->setContentsMargins(0, 0, 0, 0);
    contractLayout->addWidget(reContrato, 1);
    contractLayout->addWidget(cbAceito);

    tsTermo = new QWidget;
    tsTermo->setObjectName(QStringLiteral("tsTermo"));
    tsTermo->setWindowTitle(Tr(Texts::AgrPageTerm));
    wbTermo = new HtmlView(tsTermo);
    wbTermo->setObjectName(QStringLiteral("wbTermo"));
    wbTermo->setAccessibleName(Tr(Texts::AccTermView));
    auto* termLayout = new QVBoxLayout(tsTermo);
    termLayout->setContentsMargins(0, 0, 0, 0);
    termLayout->addWidget(wbTermo);

    PageControl1->addWidget(tsContrato);
    PageControl1->addWidget(tsTermo);

    auto makeButton = [this](const char* name, const char* text) {
        auto* b = new QPushButton(Tr(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    btnTermo = makeButton("btnTermo", Texts::AgrTermButton);
    btnSalvar = makeButton("btnSalvar", Texts::AgrSave);
    btnImprimir = makeButton("btnImprimir", Texts::AgrPrint);
    btnCancelar = makeButton("btnCancelar", Texts::AgrCancel);
    btnFinalizar = makeButton("btnFinalizar", Texts::AgrFinish);
    ButtonHelp = makeButton("ButtonHelp", Texts::AgrHelp);
    // The term button holds either caption: wide enough for both.
    btnTermo->setMinimumWidth(btnTermo->fontMetrics().horizontalAdvance(Tr(Texts::AgrAgreementButton)) + 24);

    connect(cbAceito, &QCheckBox::toggled, this, [this] { cbAceitoClick(); });
    connect(btnTermo, &QPushButton::clicked, this, [this] { btnTermoClick(); });
    connect(btnSalvar, &QPushButton::clicked, this, [this] { btnSalvarClick(); });
    connect(btnImprimir, &QPushButton::clicked, this, [this] { btnImprimirClick(); });
    connect(btnCancelar, &QPushButton::clicked, this, [this] { btnCancelarClick(); });
    connect(btnFinalizar, &QPushButton::clicked, this, [this] { btnFinalizarClick(); });
    connect(ButtonHelp, &QPushButton::clicked, this, [this] {
        if (setup_.Help)
            setup_.Help->ShowTopic(QStringLiteral("agreement.htm"));
    });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnTermo);
    buttons->addStretch(1);
    buttons->addWidget(btnSalvar);
    buttons->addWidget(btnImprimir);
    buttons->addWidget(btnCancelar);
    buttons->addWidget(btnFinalizar);
    buttons->addWidget(ButtonHelp);

    auto* right = new QVBoxLayout;
    right->addWidget(PageControl1, 1);
    right->addLayout(buttons);
    auto* main = new QHBoxLayout(this);
    main->addWidget(memHelp);
    main->addLayout(right, 1);

    SaveDialog = new QFileDialog(this);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog, true);
    UsePortugueseColumns(SaveDialog);
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    KeyboardRules::AddFreeLetters(this);
}

bool TFrmContrato::LoadAgreement(QString& Error)
{
    std::string bytes;
    if (!BoundedFileReader::Read(setup_.AgreementFile, MaxAgreementSize, bytes).Ok()) {
        Error = QString::fromStdString(FileErrors::CannotOpenFile(setup_.AgreementFile));
        return false;
    }
    RtfReader::Read(QByteArray::fromStdString(bytes), *reContrato->document());
    reContrato->moveCursor(QTextCursor::Start);
    return true;
}

QPrinter* TFrmContrato::Printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return printer_.get();
}

bool TFrmContrato::TermInView() const
{
    // The caption may carry its Alt letter.
    return QString(btnTermo->text()).remove(QLatin1Char('&')) != Tr(Texts::AgrTermButton);
}

void TFrmContrato::changeEvent(QEvent* Event)
{
    QDialog::changeEvent(Event);
    if (Event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TFrmContrato::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    // The offscreen platform and some window managers never activate a
    // window: the help text is there from the first showing.
    FormActivate();
}

void TFrmContrato::FormActivate()
{
    memHelp->setPlainText(Tr(Texts::AgrHelpTitle) + QStringLiteral("\n\n\n") + Lines(Texts::AgrHelpText));
    if (PageControl1->currentWidget() == tsContrato)
        reContrato->setFocus();
}

void TFrmContrato::cbAceitoClick()
{
    const bool accepted = cbAceito->isChecked();
    btnTermo->setEnabled(accepted);
    btnImprimir->setEnabled(accepted);
}

void TFrmContrato::ShowAgreementPage()
{
    PageControl1->setCurrentWidget(tsContrato);
}

void TFrmContrato::ShowTermPage()
{
    PageControl1->setCurrentWidget(tsTermo);
    try {
        wbTermo->clear();
        if (!HtmlPath.empty()) {
            std::string page;
            if (BoundedFileReader::Read(HtmlPath, MaxAgreementSize, page).Ok())
                wbTermo->LoadFromString(page);
        }
        wbTermo->setFocus();
    } catch (...) {
        // A page that cannot be shown leaves the view empty.
    }
}

void TFrmContrato::btnTermoClick()
{
    if (TermInView()) {
        btnTermo->setText(Tr(Texts::AgrTermButton));
        KeyboardRules::AddFreeLetters(this);
        ShowAgreementPage();
        btnFinalizar->setEnabled(false);
        return;
    }

    WaitCursor wait;
    TermGenerator generator(setup_.DataDir, setup_.ProgramDir);
    TermOutcome outcome;
    try {
        const TUserData entity = setup_.LoadEntity ? setup_.LoadEntity() : TUserData();
        outcome = generator.Generate(entity, *engine_, TermXml::Today());
    } catch (const std::exception& e) {
        wait.Restore();
        ShowMessage(QString::fromStdString(e.what()), this);
        return;
    }
    // A failed transformation shows no page: never an older one, which may
    // be another entity's.
    HtmlPath = outcome.HtmlPath;
    if (!outcome.Error.empty()) {
        wait.Restore();
        ShowMessage(QString::fromStdString(outcome.Error), this);
    }
    btnImprimir->setEnabled(true);
    btnTermo->setText(Tr(Texts::AgrAgreementButton));
    KeyboardRules::AddFreeLetters(this);
    wait.Restore();
    ShowTermPage();
    btnFinalizar->setEnabled(true);
}

bool TFrmContrato::PrintDocument(QTextDocument& Document, const QString& JobName)
{
    QPrinter* printer = Printer();
    printer->setDocName(JobName);
    QPrintDialog dialog(printer, this);
    dialog.setObjectName(QStringLiteral("PrintDialog"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    Document.print(printer);
    return true;
}

void TFrmContrato::btnImprimirClick()
{
    if (PageControl1->currentWidget() == tsContrato) {
        TermPrinted = false;
        PrintDocument(*reContrato->document(), Tr(Texts::AgrPrintJob));
    } else {
        TermPrinted = true;
        PrintDocument(*wbTermo->document(), Tr(Texts::AgrTermButton));
    }
}

int TFrmContrato::Ask(const QString& Text, const QString& Title, int Buttons, const QString& Detail, int DefaultButton)
{
    QMessageBox box(QMessageBox::Question, Title, Text, QMessageBox::StandardButtons(Buttons), this);
    box.setObjectName(QStringLiteral("Question"));
    if (!Detail.isEmpty())
        box.setInformativeText(Detail);
    if (auto* b = box.button(QMessageBox::Yes))
        b->setText(Tr(Texts::BtnYes));
    if (auto* b = box.button(QMessageBox::No))
        b->setText(Tr(Texts::BtnNo));
    if (auto* b = box.button(QMessageBox::Cancel))
        b->setText(Tr(Texts::BtnCancel));
    if (DefaultButton != 0)
        box.setDefaultButton(QMessageBox::StandardButton(DefaultButton));
    return box.exec();
}

void TFrmContrato::ShowWriteError()
{
    QMessageBox box(QMessageBox::Critical, Tr(Texts::AgrErrorTitle), Tr(Texts::AgrWriteError), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("WriteError"));
    box.exec();
}

bool TFrmContrato::IsOwnFile(const QString& Target) const
{
    const QFileInfo target(Target);
    // A link is judged by what it points at, as the save would follow it.
    const QString canonical = target.exists() ? target.canonicalFilePath() : target.absoluteFilePath();
    TermGenerator generator(setup_.DataDir, setup_.ProgramDir);
    for (const std::string& own :
         {setup_.AgreementFile, generator.XmlPath(), generator.StylePath(), generator.HtmlPath()}) {
        const QFileInfo info(LocalName(own));
        if (canonical == info.absoluteFilePath() || (info.exists() && canonical == info.canonicalFilePath()))
            return true;
    }
    // The registry and the entities' storage files in the data folder.
    const QString folder = QFileInfo(canonical).absolutePath();
    const QString dataDir = QDir(LocalName(setup_.DataDir)).canonicalPath();
    return (folder == dataDir || folder == QDir(LocalName(setup_.DataDir)).absolutePath())
           && EntityNaming::IsDataFileName(LocalPath(QFileInfo(canonical).fileName()));
}

QString TFrmContrato::ChooseSaveTarget(bool Agreement)
{
    SaveDialog->setNameFilters(NameFilters(Agreement ? Texts::AgrRtfFilter : Texts::AgrHtmFilter));
    while (true) {
        SaveDialog->selectFile(QString());
        if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
            return {};
        QString name = SaveDialog->selectedFiles().first();
        // The extension first: the question must be about the file that
        // will actually be written.
        const QString extension = Agreement ? QStringLiteral(".RTF") : QStringLiteral(".HTM");
        if (!name.toUpper().contains(extension))
            name += extension.toLower();
        if (!QFileInfo::exists(name))
            return name;
        const int answer = Ask(Tr(Texts::AgrOverwrite), Tr(Texts::AgrWarningTitle),
                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QDir::toNativeSeparators(name),
                               QMessageBox::No);
        if (answer == QMessageBox::Yes)
            return name;
        if (answer != QMessageBox::No)
            return {};
    }
}

void TFrmContrato::btnSalvarClick()
{
    const bool agreement = PageControl1->currentWidget() == tsContrato;
    TermSaved = !agreement;
    const QString target = ChooseSaveTarget(agreement);
    if (target.isEmpty())
        return;
    try {
        // The agreement's own files are never a target: saving the text onto
        // itself would leave it empty.
        if (IsOwnFile(target)) {
            ShowWriteError();
            return;
        }
        std::string bytes;
        if (agreement) {
            if (!BoundedFileReader::Read(setup_.AgreementFile, MaxAgreementSize, bytes).Ok()) {
                ShowWriteError();
                return;
            }
        } else {
            bytes = wbTermo->toHtml().toUtf8().toStdString();
        }
        SafeReplace::Options options;
        options.NewFileMode = 0644;
        if (SafeReplace::ReplaceFile(LocalPath(target), bytes.data(), bytes.size(), options) != 0)
            ShowWriteError();
    } catch (...) {
        ShowWriteError();
    }
}

void TFrmContrato::btnCancelarClick()
{
    reject();
}

void TFrmContrato::btnFinalizarClick()
{
    if (TermPrinted) {
        accept();
        return;
    }
    const char* question = TermSaved ? Texts::AgrFinishNotPrinted : Texts::AgrFinishNotSaved;
    if (Ask(Lines(question), Tr(Texts::AgrWarningTitle), QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        accept();
}
