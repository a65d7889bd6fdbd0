#pragma once
// "Cópia de Segurança": backs up every data file of the program into one
// archive and restores them from one. After a restore the data in memory no
// longer match the disk, so the dialog makes the main window close and the
// program start again.
#include "backup/TBackupFile.h"

#include <QDialog>
#include <QString>

#include <string>

class QFileDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabBar;
class TForm1;

class TFrmBackup : public QDialog {
    Q_OBJECT
public:
    explicit TFrmBackup(TForm1* MainForm, QWidget* parent = nullptr);
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
    std::string ProgramDir;        // the main window's AppDir
    std::string RestoreSource;     // archive chosen on "Restaurar"
    std::string BackupDestination; // archive chosen with "..."

    // The folder that stands for drive A: QUORVEX_DRIVE_A, else "A" in the
    // program's folder (trailing '/').
    static std::string DriveAFolder(const std::string& ProgramDir);

    // ---- event handlers --------------------------------------------------
    void FormCreate();
    void TabControl1Change();
    void btnBrowseClick();
    void ButtonOKClick();
    void ButtonCancelClick();
    void BackupFile1Progress(TBackupFile* Sender, const std::string& Filename, TPercentage Percent, bool& Continue);
    // Escape and "Cancelar" alike stop a running operation.
    void reject() override;

private:
    void DoBackup();
    void DoRestore();
    // Runs a file dialog from the program's "Backup" folder; empty when cancelled.
    QString RunFileDialog(QFileDialog* Dialog);
    void ShowError(const QString& Text);
    void ShowInformation(const QString& Text);

    TForm1* MainForm_;
};
