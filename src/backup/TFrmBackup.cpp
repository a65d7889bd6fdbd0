#include "backup/TFrmBackup.h"

#include "ui/NameFilter.h"
#include "ui/WaitCursor.h"

#include "backup/ArchiveFormat.h"
#include "backup/ClientArchivePolicy.h"
#include "backup/RestorePolicy.h"
#include "base/Texts.h"
#include "help/HelpService.h"
#include "ui/KeyboardRules.h"
#include "store/TRequestFile.h"
#include "ui/MessageBox.h"
#include "ui/Text1252.h"
#include "ui/PortugueseFileColumns.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

#include <ctime>
#include <initializer_list>
#include <optional>
#include <exception>
#include <filesystem>
#include <vector>

namespace {

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString ShownPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The archive component lets the dialog's events run between chunks; while
// it works, only "Cancelar" may act. A second OK, a new path or the other tab
// would start a second run on the same component and archive.
class Busy {
public:
    explicit Busy(std::initializer_list<QWidget*> controls)
    {
        for (QWidget* c : controls) {
            if (c && c->isEnabled()) {
                c->setEnabled(false);
                disabled_.push_back(c);
            }
        }
    }
    ~Busy()
    {
        for (QWidget* c : disabled_)
            c->setEnabled(true);
    }

private:
    std::vector<QWidget*> disabled_;
};

// Runs the archive with the hourglass on. A failure the archive raises
// (rather than reports) stops it, is shown, and gives no result.
template <typename Run, typename ShowFailure>
std::optional<bool> RunArchive(WaitCursor& Cursor, TBackupFile& Archive, Run&& Work, ShowFailure&& Show)
{
    try {
        const bool ok = Work();
        Cursor.Restore();
        return ok;
    } catch (const std::exception& e) {
        Cursor.Restore();
        Archive.Stop();
        Show(QString::fromUtf8(e.what()));
        return std::nullopt;
    }
}

} // namespace

TFrmBackup::TFrmBackup(const ProgramPaths& GivenPaths, std::function<void()> StampFingerprints, HelpService* Help,
                       QWidget* parent)
    : QDialog(parent), Paths(GivenPaths), StampFingerprints_(std::move(StampFingerprints))
{
    setObjectName(QStringLiteral("FrmBackup"));
    setWindowTitle(Tr(Texts::BkCaption));
    setModal(true);

    TabControl1 = new QTabBar(this);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->addTab(Tr(Texts::BkTabCopy));
    TabControl1->addTab(Tr(Texts::BkTabRestore));
    TabControl1->setCurrentIndex(0);
    TabControl1->setAccessibleName(Tr(Texts::AccBackupTabs));

    lblName = new QLabel(Tr(Texts::BkNameLabel), this);
    lblName->setObjectName(QStringLiteral("lblName"));
    edtName = new QLineEdit(this);
    edtName->setObjectName(QStringLiteral("edtName"));
    edtName->setToolTip(Tr(Texts::BkNameHint));
    lblName->setBuddy(edtName);
    lblPath = new QLabel(Tr(Texts::BkPathLabel), this);
    lblPath->setObjectName(QStringLiteral("lblPath"));
    edtPath = new QLineEdit(this);
    edtPath->setObjectName(QStringLiteral("edtPath"));
    edtPath->setToolTip(Tr(Texts::BkPathHint));
    // The path is chosen in the file dialog of the "..." button, the only
    // one the copy takes: a path typed here would be ignored.
    edtPath->setReadOnly(true);
    edtPath->setAccessibleName(lblPath->text());
    btnBrowse = new QPushButton(Tr(Texts::BkBrowse), this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setAutoDefault(false);
    btnBrowse->setAccessibleName(Tr(Texts::AccBackupBrowse));
    lblPath->setBuddy(btnBrowse);
    lblComment = new QLabel(Tr(Texts::BkCommentLabel), this);
    lblComment->setObjectName(QStringLiteral("lblComment"));
    lblCommentText = new QLabel(this);
    lblCommentText->setObjectName(QStringLiteral("lblCommentText"));
    lblCommentText->setWordWrap(true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    lblFile = new QLabel(this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    ButtonOK = new QPushButton(Tr(Texts::BkOK), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setDefault(true);
    ButtonCancel = new QPushButton(Tr(Texts::BkCancel), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setAutoDefault(false);
    ButtonHelp = new QPushButton(Tr(Texts::BkHelp), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonHelp->setAutoDefault(false);
    // The help page on backups and restores.
    connect(ButtonHelp, &QPushButton::clicked, this, [Help] {
        if (Help)
            Help->ShowTopic(QStringLiteral("backup.htm"));
    });

    // Qt's own dialogs, so that they look the same everywhere and tests can
    // answer them.
    OpenDialog = new QFileDialog(this);
    OpenDialog->setObjectName(QStringLiteral("OpenDialog"));
    OpenDialog->setOption(QFileDialog::DontUseNativeDialog);
    UsePortugueseColumns(OpenDialog);
    OpenDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    OpenDialog->setNameFilters(NameFilters(Texts::BkFilter));
    SaveDialog = new QFileDialog(this);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setOption(QFileDialog::DontUseNativeDialog);
    UsePortugueseColumns(SaveDialog);
    // The dialog asks about existing files in its own words below.
    SaveDialog->setOption(QFileDialog::DontConfirmOverwrite);
    SaveDialog->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->setNameFilters(NameFilters(Texts::BkFilter));

    auto* grid = new QGridLayout;
    grid->addWidget(lblName, 0, 0);
    grid->addWidget(edtName, 0, 1, 1, 2);
    grid->addWidget(lblPath, 1, 0);
    grid->addWidget(edtPath, 1, 1);
    grid->addWidget(btnBrowse, 1, 2);
    grid->addWidget(lblComment, 2, 0, Qt::AlignTop);
    grid->addWidget(lblCommentText, 2, 1, 1, 2);
    auto* progress = new QHBoxLayout;
    progress->addWidget(ProgressBar1, 1);
    progress->addWidget(lblFile, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonHelp);
    auto* main = new QVBoxLayout(this);
    main->addWidget(TabControl1);
    main->addLayout(grid);
    main->addLayout(progress);
    main->addLayout(buttons);
    resize(460, 220);

    connect(TabControl1, &QTabBar::currentChanged, this, [this](int) { TabControl1Change(); });
    connect(btnBrowse, &QPushButton::clicked, this, [this] { btnBrowseClick(); });
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { ButtonCancelClick(); });
    // Alt letters where free; F1 answers with the help button.
    KeyboardRules::AddFreeLetters(this);

    BackupFile1.OnProgress = [this](TBackupFile* Sender, const std::string& Filename, TPercentage Percent,
                                    bool& Continue) { BackupFile1Progress(Sender, Filename, Percent, Continue); };
    // What the archive component shows by itself: its English error box and
    // its question for the next disk; and the events it lets run per chunk.
    BackupFile1.UiProcessMessages = [] { QCoreApplication::processEvents(); };
    BackupFile1.UiShowError = [this](const std::string& text) { ShowError(QString::fromStdString(text)); };
    BackupFile1.UiAskOkCancel = [this](const std::string& text) {
        QMessageBox box(QMessageBox::Information, Tr(Texts::AppTitle), QString::fromStdString(text),
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        box.setObjectName(QStringLiteral("NeedDisk"));
        box.button(QMessageBox::Ok)->setText(Tr(Texts::BkOK));
        box.button(QMessageBox::Cancel)->setText(Tr(Texts::BkCancel));
        return box.exec() == QMessageBox::Ok;
    };

    FormCreate();
}

TFrmBackup::~TFrmBackup()
{
    BackupFile1.Stop();
}

bool TFrmBackup::IsRestorableTarget(const std::string& Target) const
{
    return RestorePolicy::IsDataFileIn(DataDir, Target);
}

void TFrmBackup::FormCreate()
{
    RestoreSource.clear();
    BackupDestination.clear();
    ButtonOK->setEnabled(false);
    lblName->hide();
    edtName->hide();
    DataDir = Paths.DataDir();
    lblCommentText->setText(Tr(Texts::BkCommentCopy));
    ProgressBar1->hide();
}

QString TFrmBackup::RunFileDialog(QFileDialog* Dialog)
{
    // The "Backup" folder is only where the dialog starts; nothing creates it.
    const QString start = ShownPath(DataDir + "Backup/");
    Dialog->setDirectory(QDir(start).exists() ? start : ShownPath(DataDir));
    Dialog->selectFile(QString());
    if (Dialog->exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = Dialog->selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

void TFrmBackup::ShowError(const QString& Text)
{
    QMessageBox box(QMessageBox::Critical, Tr(Texts::AppTitle), Text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.button(QMessageBox::Ok)->setText(Tr(Texts::BkOK));
    box.exec();
}

void TFrmBackup::ShowInformation(const QString& Text)
{
    QMessageBox box(QMessageBox::Information, Tr(Texts::AppTitle), Text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("InformationBox"));
    box.button(QMessageBox::Ok)->setText(Tr(Texts::BkOK));
    box.exec();
}

void TFrmBackup::TabControl1Change()
{
    lblName->hide();
    edtName->hide();
    if (TabControl1->currentIndex() == 1) {
        lblCommentText->setText(Tr(Texts::BkCommentRestore));
        const QString chosen = RunFileDialog(OpenDialog);
        if (chosen.isEmpty())
            return;
        RestoreSource = LocalPath(chosen);
        edtPath->setText(chosen);
        ButtonOK->setEnabled(true);
    } else {
        lblCommentText->setText(Tr(Texts::BkCommentCopy));
    }
}

void TFrmBackup::btnBrowseClick()
{
    QString chosen = RunFileDialog(SaveDialog);
    if (chosen.isEmpty())
        return;
    std::string name;
    for (;;) {
        name = LocalPath(chosen);
        if (UpperAscii(name).find(".BKP") == std::string::npos)
            name += ".bkp";
        // Asked about the name that will be written, extension included, so
        // that "copia" never replaces an existing copia.bkp unasked.
        std::error_code ec;
        if (!std::filesystem::exists(name, ec))
            break;
        QMessageBox box(QMessageBox::Question, Tr(Texts::BkOverwriteTitle), Tr(Texts::BkOverwriteQuestion),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        box.setObjectName(QStringLiteral("OverwriteQuestion"));
        box.button(QMessageBox::Yes)->setText(Tr(Texts::BkYes));
        box.button(QMessageBox::No)->setText(Tr(Texts::BkNo));
        box.button(QMessageBox::Cancel)->setText(Tr(Texts::BkCancel));
        // Enter answered by habit keeps the file that is there.
        box.setDefaultButton(QMessageBox::No);
        const int answer = box.exec();
        if (answer == QMessageBox::Yes)
            break;
        if (answer != QMessageBox::No)
            return;
        chosen = RunFileDialog(SaveDialog);
        if (chosen.isEmpty())
            return;
    }
    BackupDestination = name;
    edtPath->setText(ShownPath(name));
    ButtonOK->setEnabled(true);
}

void TFrmBackup::ButtonOKClick()
{
    if (TabControl1->currentIndex() == 0)
        DoBackup();
    else
        DoRestore();
}

void TFrmBackup::DoBackup()
{
    // The same fresh fingerprints as at shutdown, so that the copy matches.
    try {
        if (StampFingerprints_)
            StampFingerprints_();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromUtf8(e.what()), this);
        return;
    }

    Busy busy{ButtonOK, btnBrowse, TabControl1};
    WaitCursor cursor;
    const std::vector<std::string> files = ClientArchivePolicy::BackupFiles(DataDir);
    ClientArchivePolicy::SetUpBackup(
        BackupFile1, ToAnsi(edtName->text()),
        ClientArchivePolicy::VolumeSize(edtPath->text().toStdString(), BackupDestination, Paths.DriveA()));

    const auto ok = RunArchive(
        cursor, BackupFile1, [&] { return BackupFile1.Backup(files, BackupDestination); },
        [this](const QString& text) { ShowError(text); });
    if (!ok)
        return;
    ShowMessage(Tr(*ok ? Texts::BkBackupDone : Texts::BkBackupFailed), this);
    BackupFile1.Stop();
}

bool TFrmBackup::KeepCurrentData()
{
    SafetyArchive.clear();
    const RestoreSafety::CurrentData current = CountCurrentData ? CountCurrentData() : RestoreSafety::CurrentData{};
    QMessageBox box(QMessageBox::Question, Tr(Texts::BkOverwriteTitle),
                    QString::fromUtf8(RestoreSafety::Question(current.Entities, current.Certificates)),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("RestoreQuestion"));
    box.button(QMessageBox::Yes)->setText(Tr(Texts::BkYes));
    box.button(QMessageBox::No)->setText(Tr(Texts::BkNo));
    // Enter answered by habit keeps the data that are there.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes)
        return false;
    // The files as they are on disk: every action has saved its change, and
    // a failed restore must leave them byte for byte as they were.
    WaitCursor cursor;
    if (RestoreSafety::DataFiles(DataDir).empty())
        return true; // nothing to keep
    SafetyArchive = RestoreSafety::KeepCurrentData(DataDir, std::time(nullptr));
    cursor.Restore();
    if (SafetyArchive.empty() || !RestoreSafety::LeaveNotice(DataDir, SafetyArchive)) {
        ShowError(Tr(Texts::BkSafetyCopyFailed));
        return false;
    }
    return true;
}

void TFrmBackup::DoRestore()
{
    if (!KeepCurrentData())
        return;
    Busy busy{ButtonOK, btnBrowse, TabControl1};
    WaitCursor cursor;
    BackupFile1.RestoreMode = rmAll;
    BackupFile1.RestoreFullPath = false;
    // Storage files hold the encrypted keys: the replaced versions do not
    // linger in freed blocks.
    BackupFile1.WipeReplacedFiles = true;
    // A data file the client could never load is not restored either: the
    // restart would fail on it.
    BackupFile1.MaxRestoredFileSize = static_cast<std::int64_t>(TRequestFile::MaxDataFileSize);
    // Only the data files, all or none: a damaged, hostile or cancelled
    // archive leaves the folder as it was.
    SkippedEntries.clear();
    ClientArchivePolicy::RestoreOnlyDataFiles(BackupFile1, DataDir, SkippedEntries);
    BackupFile1.OnUnsafeEntry = [this](TBackupFile*, const std::string& Name) { SkippedEntries.push_back(Name); };
    const auto ok = RunArchive(
        cursor, BackupFile1, [&] { return BackupFile1.Restore(RestoreSource, DataDir); },
        [this](const QString& text) { ShowError(text); });
    // An archive that raised before any file was replaced changed nothing:
    // no restart. Once a file is in place, the data in memory are stale
    // whatever happened next.
    if (!ok && BackupFile1.ProcessedFiles() == 0) {
        // No restart to tell it: the copy is told now, and kept.
        if (!SafetyArchive.empty() && !RestoreSafety::TakeNotice(DataDir).empty())
            ShowMessage(Tr(Texts::BkSafetyCopyKept1) + ShownPath(SafetyArchive) + Tr(Texts::BkSafetyCopyKept2), this);
        return;
    }
    if (!SkippedEntries.empty()) {
        QString names;
        for (const std::string& name : SkippedEntries)
            names += QStringLiteral("\r\n") + ShownPath(ArchiveFormat::PrintableName(name));
        ShowMessage(Tr(Texts::BkSkippedEntries) + names, this);
    }
    ShowMessage(Tr(ok && *ok ? Texts::BkRestoreDone : Texts::BkRestoreFailed), this);
    BackupFile1.Stop();

    ShowInformation(Tr(Texts::BkRestart));
    emit RestoreDone();
    accept();
}

void TFrmBackup::ButtonCancelClick()
{
    reject();
}

void TFrmBackup::reject()
{
    // An operation in progress ends after its current chunk.
    BackupFile1.Stop();
    QDialog::reject();
}

void TFrmBackup::BackupFile1Progress(TBackupFile*, const std::string& Filename, TPercentage Percent, bool&)
{
    if (Percent < 100) {
        ProgressBar1->setVisible(true);
        ProgressBar1->setValue(Percent);
        lblFile->setText(ShownPath(Filename));
    } else {
        ProgressBar1->setVisible(false);
        lblFile->clear();
    }
    QCoreApplication::processEvents();
}
