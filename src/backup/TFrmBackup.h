#pragma once
// "Cópia de Segurança": backs up every data file of the program into one
// archive and restores them from one. After a restore the data in memory no
// longer match the disk, so the dialog makes the main window close and the
// program start again: it says so with RestoreDone, and the window that
// opened it acts on that.
//
// It restores only the program's data files (ENTITY.DAT and STORAGE.<n>.DAT,
// any letter case) into the data folder; every other entry of an archive is
// skipped and named to the user.
#include "backup/RestoreSafety.h"
#include "backup/TBackupFile.h"
#include "base/ProgramPaths.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabBar;

class HelpService;

class TFrmBackup : public QDialog {
    Q_OBJECT
public:
    // Paths: the data folder (what is backed up, where a restore goes) and
    // drive A. StampFingerprints: stamps every storage file before a backup
    // (raises on failure; empty for nothing to stamp). Help: what the help
    // button opens; may be null.
    TFrmBackup(const ProgramPaths& Paths, std::function<void()> StampFingerprints, HelpService* Help = nullptr,
               QWidget* parent = nullptr);
    ~TFrmBackup() override;

    // ---- components ------------------------------------------------------
    QTabBar* TabControl1 = nullptr; // 0 "Copiar", 1 "Restaurar"
    QLabel* lblName = nullptr;      // always hidden
    QLineEdit* edtName = nullptr;   // always hidden; its (empty) text is the title
    QLabel* lblPath = nullptr;
    QLineEdit* edtPath = nullptr;
    QPushButton* btnBrowse = nullptr; // "..."
    QLabel* lblComment = nullptr;     // "Comentário:"
    QLabel* lblCommentText = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblFile = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QFileDialog* OpenDialog = nullptr;
    QFileDialog* SaveDialog = nullptr;
    TBackupFile BackupFile1;

    // ---- state -----------------------------------------------------------
    ProgramPaths Paths;
    std::string DataDir;           // Paths.DataDir(): backed up, restored into
    std::string RestoreSource;     // archive chosen on "Restaurar"
    std::string BackupDestination; // archive chosen with "..."
    // Entries the last restore left out (as archived).
    std::vector<std::string> SkippedEntries;
    // What the client holds now (the question before a restore names it);
    // unset, nothing is counted.
    std::function<RestoreSafety::CurrentData()> CountCurrentData;
    // The archive the last restore kept the current data in; empty when none.
    std::string SafetyArchive;

    // True for a file that a restore of the program may replace: a data
    // file (ENTITY.DAT, STORAGE.<n>.DAT, any letter case) directly in the
    // data folder.
    bool IsRestorableTarget(const std::string& Target) const;

    // ---- event handlers --------------------------------------------------
    void FormCreate();
    void TabControl1Change();
    void btnBrowseClick();
    void ButtonOKClick();
    void ButtonCancelClick();
    void BackupFile1Progress(TBackupFile* Sender, const std::string& Filename, TPercentage Percent, bool& Continue);
    // Escape and "Cancelar" alike stop a running operation.
    void reject() override;

signals:
    // A restore has run and may have changed the data on disk: the window
    // must not write its own over them, and the program starts again.
    void RestoreDone();

private:
    void DoBackup();
    void DoRestore();
    // Asks before a restore replaces the current data (No by default) and,
    // when the user goes on, keeps them in the safety archive. False: the
    // restore does not begin.
    bool KeepCurrentData();
    // Runs a file dialog from the program's "Backup" folder; empty when cancelled.
    QString RunFileDialog(QFileDialog* Dialog);
    void ShowError(const QString& Text);
    void ShowInformation(const QString& Text);

    std::function<void()> StampFingerprints_;
};
