#pragma once
// The main window: menus and actions, the next-task panel, the entity
// selector and one certificate list per entity. It asks the entity session
// (owned for the whole run) what to show and hands it the user's changes;
// it keeps the views and the one that shows the active entity.
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>

#include "base/ProgramPaths.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QWidget;

class HelpService;
class HtmlView;
class KitLibraries;
class TCustomItem;
class TCustomView;
class TDialog;
class EntityOverviewDialog;
class TEntitySession;
class TStepContext;
struct TCertificateEntry;
class TFrmBackup;
class TViews;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // The program's folders, made once at start. Kit: the crypto kit that
    // the certificate steps and the fingerprint stamp use; it outlives the
    // window. Help: the help viewer, which the window hands on to every
    // dialog it opens; null, and help does nothing.
    TForm1(const ProgramPaths& Paths, KitLibraries& Kit, HelpService* Help = nullptr, QWidget* parent = nullptr);
    // AppDir empty: the paths of the running executable. Tests pass a
    // temporary folder, which then holds the data and stands for the
    // program's folder too. The window loads a kit of its own from the
    // executable's folder and offers no help.
    explicit TForm1(const std::string& AppDir = {}, QWidget* parent = nullptr);
    // Runs FormDestroy (once).
    ~TForm1() override;

    // The open dialog (file must exist) and the save dialog (overwriting is
    // confirmed): Qt's own dialogs, made on first use since building them
    // costs more than the rest of the window.
    QFileDialog* OpenFile();
    QFileDialog* SaveFile();

    // ---- what the program start, the window's questions and tests read ----
    // The window's widgets and actions are private: a test finds them by
    // their object names, as a user finds them by their captions.
    const ProgramPaths& Folders() const { return Paths; }
    bool HasStartFailed() const { return StartFailed; }
    HelpService* HelpViewer() const { return Help; }
    // Set just before the agreement form is shown.
    const std::string& AgreementFileName() const { return AgreementFile; }
    // 0 = not signed, 1 = signed.
    const QList<QIcon>& CertificateIcons() const { return ImageList1; }
    // The workflow's actions, in table order.
    const QList<QAction*>& WorkflowActions() const { return ActionList1; }
    TViews* EntityViews() const { return Views; }
    TCustomView* ActiveEntityView() const { return ActiveView; }
    // Non-zero after a restore: shutdown writes nothing.
    int RestoredFlag() const { return Restored; }
    void SetRestoredFlag(int Value) { Restored = Value; }

    // The application's restart flag (its integer tag): 1 makes the program
    // start reinit once the message loop has ended. A restore sets it to 1
    // together with Restored, then closes the main window.
    // Set after a restore: the program start launches reinit once the
    // window has closed, so that a fresh start reads the restored files.
    int RestartFlag() const { return restartFlag_; }
    void SetRestartFlag(int Value) { restartFlag_ = Value; }

    // The entities of the run; null when the data files could not be opened.
    TEntitySession* Session() const { return session_.get(); }

    // ---- operations offered to the workflow steps -------------------------
    // Enables exactly the actions that the session allows for the active
    // entity. The closing step is applied on entity switches and by
    // RefreshEntityList.
    void UpdateActionStates(bool ClosingStep = false);
    // Shows the next-task text of the active entity.
    void UpdateTip();
    // Rebuilds the entity selector, reselects the active entity, applies the
    // action rule with its closing step (when an entity is active) and
    // updates the tip.
    void RefreshEntityList();
    // Shows the service agreement form (sets AgreementFile first).
    void ShowAgreement();
    // Adds an icon for a certificate of the active entity to the active
    // view; nothing when Id or Name is empty. The icon shows whether the
    // session says it is signed.
    TCustomItem* AddCertificateItem(const std::string& Id, const std::string& Name);
    // A certificate's item in View, with its signed icon.
    TCustomItem* AddCertificateItem(TCustomView& View, const TCertificateEntry& Certificate);
    void ShowSigned(TCustomItem& Item, bool Signed);
    // Shows the active entity's view (none when there is no active entity).
    void ShowActiveView();
    // Gives the first item captioned Name (any letter case) the signed icon.
    void MarkItemSigned(const std::string& Name);
    // Selector text of entity position n: "n - Razao (Inscricao)".
    QString EntityItemText(int n) const;
    // The backup dialog over this window's paths and stamp; a restore it
    // reports sets Restored and the restart flag and closes this window.
    std::unique_ptr<TFrmBackup> MakeBackupDialog();

    // ---- event handlers --------------------------------------------------
    void FormCreate();
    void FormDestroy();
    void cbxEntityChange();
    // A link of the tip: runs the named step even when its action is disabled.
    void TipHotSpotClick(const QString& Target);
    // An in-place rename was committed; NewCaption is undone (set back to the
    // item's caption) when another certificate already has that name.
    void ViewEdited(TCustomItem* Item, QString& NewCaption);

    void FileNewExecute();
    void FileRemoveExecute();
    void FileRenameExecute();
    void FileDiskExecute();
    void FileBackupExecute();
    void FileImportExecute();
    void FileExportExecute();
    void FileDealExecute();
    void FileExitExecute();
    void RequestAddExecute();
    void RequestFillExecute();
    void RequestRemoveExecute();
    void RequestSendExecute();
    void RequestReceiveExecute();
    void HelpTopicsExecute();
    void HelpHowExecute();
    void HelpAboutExecute();
    // Opens the overview of the entities (once made, the same window).
    void RequestOverviewExecute();
    // The overview chose the entity numbered Number: it becomes the active
    // one, as if chosen in the entity selector.
    void OverviewChosen(int Number);

private:
    // The window's own answers to the steps' questions use its dialogs,
    // folders and views.
    friend class TForm1Questions;

    // ---- components ------------------------------------------------------
    QWidget* Panel1 = nullptr;             // left, 209 pixels: holds Tip
    HtmlView* Tip = nullptr;               // next-task text
    QWidget* panWork = nullptr;            // the rest: Panel2 and the list views
    QWidget* Panel2 = nullptr;             // top of panWork, 56 pixels
    QLabel* Label1 = nullptr;              // "Selecione uma Entidade"
    QComboBox* cbxEntity = nullptr;        // "n - Razao (Inscricao)" per entity shown; data: its position
    QLineEdit* EditEntitySearch = nullptr; // narrows cbxEntity to the entities it finds
    QMenu* MenuFile = nullptr;             // "&Arquivo"
    QMenu* MenuRequest = nullptr;          // "&Requisição"
    QMenu* MenuHelp = nullptr;             // "&?"
    QMenu* PopupMenu = nullptr;            // context menu of the list views
    QList<QIcon> ImageList1;               // 32 x 32: 0 = not signed, 1 = signed
    QList<QIcon> ImageList2;               // menu images
    TDialog* Dlg = nullptr;                // the shared question dialog

    // ActionList1: every action below, in table order.
    QList<QAction*> ActionList1;
    QAction* FileNew = nullptr;
    QAction* FileRemove = nullptr;
    QAction* FileRename = nullptr;
    QAction* FileDisk = nullptr;
    QAction* FileBackup = nullptr;
    QAction* FileImport = nullptr;
    QAction* FileExport = nullptr;
    QAction* FileDeal = nullptr;
    QAction* FileExit = nullptr;
    QAction* RequestAdd = nullptr;
    QAction* RequestFill = nullptr;
    QAction* RequestRemove = nullptr;
    QAction* RequestSend = nullptr;
    QAction* RequestReceive = nullptr;
    QAction* HelpTopics = nullptr;
    QAction* HelpHow = nullptr;
    QAction* HelpAbout = nullptr;
    // Not one of the workflow's actions (not in ActionList1): the overview
    // of every entity, always offered.
    QAction* RequestOverview = nullptr;

    // ---- fields ----------------------------------------------------------
    ProgramPaths Paths;          // data folder, program folder, drive A
    HelpService* Help = nullptr; // the program's help viewer; may be null
    KitLibraries* Kit = nullptr; // the crypto kit; set by every constructor
    std::string AppDir;          // the data folder (Paths.DataDir()), trailing '/'
    std::string AgreementFile;   // set just before the agreement form is shown
    int Restored = 0;            // non-zero after a restore: shutdown writes nothing
    bool StartFailed = false;    // data files could not be opened: shutdown writes nothing
    TViews* Views = nullptr;
    TCustomView* ActiveView = nullptr; // the active entity's list, owned by the views

    int restartFlag_ = 0;
    // Declared first, so that the kit the window loaded itself outlives
    // everything else the window holds.
    std::unique_ptr<KitLibraries> ownKit_;
    std::unique_ptr<TEntitySession> session_;
    void Construct();
    void CreateComponents();
    void CreateActions();
    void CreateMenus();
    void CentreOnScreen();
    QAction* MakeAction(const char* objectName, const char* caption, void (TForm1::*handler)());
    // Rebuilds cbxEntity with the entities that the search text finds, each
    // item carrying its position; the active entity is selected when shown.
    void FillEntityList();
    // Selects the item of the active entity (none when it is not shown).
    void SelectActiveItem();
    // Enter in the search field: the one entity found becomes active; with
    // several, the list opens for the choice.
    void EntitySearchAccepted();
    // The caption names the active entity, or only the program with none.
    void SetActiveCaption();
    // The caption, selector, actions and tip after an entity was added,
    // filled in, removed or dropped.
    void ShowEntityChange();
    void ReportStartFailure(const std::exception& e);
    // Runs a handler; a failure it does not catch itself is shown in a plain
    // message box and the program carries on.
    void RunGuarded(void (TForm1::*Handler)());

    // Refreshes the window after a certificate step: the action states with
    // their closing step, the tip.
    void AfterStep();
    // There is an active entity for a step to work on.
    bool HaveActiveEntity() const;
    // Runs a certificate step on the active entity (nothing without one):
    // Step gets a context whose questions are the window's dialogs, and the
    // window is refreshed afterwards. A step that throws skips the refresh
    // and its failure goes on to the caller.
    void RunStep(const std::function<void(TStepContext&)>& Step);
    // The certificate selected in the active entity's view; null when there
    // is no active entity or nothing is selected.
    TCustomItem* SelectedCertificate() const;

    bool destroyed_ = false;
    // An action, a tip link or an entity switch is running.
    bool actionRunning_ = false;
    QFileDialog* openFile_ = nullptr;
    QFileDialog* saveFile_ = nullptr;
    EntityOverviewDialog* overview_ = nullptr;
};
