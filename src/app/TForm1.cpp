#include "app/TForm1.h"

#include "app/RemovableMediaDialog.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TViews.h"
#include "app/steps/TEntitySession.h"
#include "ui/TDialog.h"
#include "help/TFrmAbout.h"
#include "crypto/KitLibraries.h"
#include "help/HelpService.h"
#include "base/Exception.h"
#include "store/TUsersData.h"
#include "base/Texts.h"
#include "ui/HtmlView.h"
#include "ui/KeyboardRules.h"
#include "ui/MessageBox.h"
#include "ui/Pictures.h"
#include "ui/Text1252.h"
#include "ui/PortugueseFileColumns.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Marks an action as running for as long as it lasts, and clears the mark
// however it ends: whatever leaves a handler, the next action must run.
class TRunningAction {
public:
    explicit TRunningAction(bool& Flag) : Flag_(Flag) { Flag_ = true; }
    ~TRunningAction() { Flag_ = false; }
    TRunningAction(const TRunningAction&) = delete;
    TRunningAction& operator=(const TRunningAction&) = delete;

private:
    bool& Flag_;
};

// A frame in the highlight colour around a control while it has the
// keyboard, painted on the panel that holds it: the style's own focus mark
// on a list box is too faint to find.
class FocusFrame : public QObject {
public:
    FocusFrame(QWidget* Control, QWidget* Panel) : QObject(Panel), control_(Control), panel_(Panel)
    {
        Control->installEventFilter(this);
        Panel->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Watched == control_ && (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut))
            panel_->update();
        else if (Watched == panel_ && Event->type() == QEvent::Paint && control_->hasFocus()) {
            QPainter painter(panel_);
            painter.setPen(QPen(panel_->palette().color(QPalette::Highlight), 2));
            painter.drawRect(control_->geometry().adjusted(-2, -2, 1, 1));
        }
        return false;
    }

private:
    QWidget* control_;
    QWidget* panel_;
};

} // namespace

TForm1::TForm1(const ProgramPaths& paths, KitLibraries& kit, HelpService* help, QWidget* parent)
    : QMainWindow(parent), Paths(paths), Help(help), Kit(&kit)
{
    Construct();
}

TForm1::TForm1(const std::string& appDir, QWidget* parent)
    : QMainWindow(parent), Paths(appDir.empty() ? ProgramPaths::ForExecutableFolder(ProgramPaths::ExecutableFolder())
                                                : ProgramPaths(appDir, appDir)),
      ownKit_(std::make_unique<KitLibraries>(ProgramPaths::ExecutableFolder()))
{
    Kit = ownKit_.get();
    Construct();
}

void TForm1::Construct()
{
    setObjectName(QStringLiteral("Form1"));
    AppDir = Paths.DataDir();
    CreateComponents();
    CreateActions();
    CreateMenus();
    KeyboardRules::AddFreeLetters(this);
    resize(640, 450);
    CentreOnScreen();
    FormCreate();
}

TForm1::~TForm1()
{
    FormDestroy();
}

// ---- building the window ----------------------------------------------------

void TForm1::CentreOnScreen()
{
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TForm1::CreateComponents()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Central"));
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(209);
    auto* tipLayout = new QVBoxLayout(Panel1);
    tipLayout->setContentsMargins(0, 0, 0, 0);
    Tip = new HtmlView(Panel1);
    Tip->setObjectName(QStringLiteral("Tip"));
    Tip->setAccessibleName(Tr(Texts::AccTip));
    Tip->setAccessibleDescription(Tr(Texts::AccTipDescription));
    Tip->setFont(QFont(QStringLiteral("Arial"), 9));
    tipLayout->addWidget(Tip);
    connect(Tip, &HtmlView::HotSpotClick, this, [this](const QString& target, bool& handled) {
        handled = true;
        if (actionRunning_)
            return;
        const TRunningAction running(actionRunning_);
        try {
            TipHotSpotClick(target);
        } catch (const std::exception& e) {
            ShowMessage(QString::fromStdString(e.what()), this);
        }
    });

    panWork = new QWidget(central);
    panWork->setObjectName(QStringLiteral("panWork"));
    auto* work = new QVBoxLayout(panWork);
    work->setContentsMargins(0, 0, 0, 0);
    work->setSpacing(0);
    Panel2 = new QWidget(panWork);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedHeight(56);
    auto* selector = new QVBoxLayout(Panel2);
    selector->setContentsMargins(8, 6, 8, 6);
    selector->setSpacing(2);
    Label1 = new QLabel(Tr(Texts::SelectEntity), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    cbxEntity = new QComboBox(Panel2);
    cbxEntity->setObjectName(QStringLiteral("cbxEntity"));
    cbxEntity->setEditable(false);
    // As wide as the panel: an item holds the Razao and the inscription.
    cbxEntity->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbxEntity->setMinimumContentsLength(20);
    // Typing part of a name or of an inscription narrows the list: an
    // office may keep hundreds of client companies.
    EditEntitySearch = new QLineEdit(Panel2);
    EditEntitySearch->setObjectName(QStringLiteral("EditEntitySearch"));
    EditEntitySearch->setPlaceholderText(Tr(Texts::EntitySearchKeyHint));
    EditEntitySearch->setToolTip(Tr(Texts::EntitySearchHint));
    EditEntitySearch->setClearButtonEnabled(true);
    for (QToolButton* clear : EditEntitySearch->findChildren<QToolButton*>())
        clear->setAccessibleName(Tr(Texts::AccEntitySearchClear));
    // Ctrl+F, as in most programs, goes to the search field.
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setObjectName(QStringLiteral("FindEntity"));
    connect(find, &QShortcut::activated, this, [this] {
        EditEntitySearch->setFocus(Qt::ShortcutFocusReason);
        EditEntitySearch->selectAll();
    });
    EditEntitySearch->setAccessibleName(Tr(Texts::AccEntitySearch));
    EditEntitySearch->setAccessibleDescription(Tr(Texts::AccEntitySearchDescription));
    Label1->setBuddy(cbxEntity);
    // A list is named by its label, not by the choice it shows.
    cbxEntity->setAccessibleName(Label1->text());
    new FocusFrame(cbxEntity, Panel2);
    selector->addWidget(Label1);
    auto* choice = new QHBoxLayout;
    // The list's items are long ("n - Razao (Inscricao)"); the search field
    // needs room for its short hint only.
    choice->addWidget(cbxEntity, 2);
    choice->addWidget(EditEntitySearch, 1);
    selector->addLayout(choice);
    connect(EditEntitySearch, &QLineEdit::textChanged, this, [this] {
        if (session_)
            FillEntityList();
    });
    connect(EditEntitySearch, &QLineEdit::returnPressed, this, [this] {
        if (!actionRunning_)
            EntitySearchAccepted();
    });
    // On top even when no list view is there to fill the space below.
    work->addWidget(Panel2, 0, Qt::AlignTop);
    // Only the user's choice switches entity; refilling the list does not.
    connect(cbxEntity, &QComboBox::activated, this, [this](int) {
        if (actionRunning_) {
            // The step in progress works on the entity shown.
            SelectActiveItem();
            return;
        }
        try {
            cbxEntityChange();
        } catch (const std::exception& e) {
            ShowMessage(QString::fromStdString(e.what()), this);
        }
    });

    row->addWidget(Panel1);
    row->addWidget(panWork, 1);
    setCentralWidget(central);

    ImageList1 = Pictures::CertificateIcons();
    ImageList2 = Pictures::MenuImages();
    Dlg = new TDialog(this);
    Dlg->setObjectName(QStringLiteral("Dlg"));
}

QFileDialog* TForm1::OpenFile()
{
    if (!openFile_) {
        openFile_ = new QFileDialog(this);
        openFile_->setObjectName(QStringLiteral("OpenFile"));
        openFile_->setOption(QFileDialog::DontUseNativeDialog);
        UsePortugueseColumns(openFile_);
        openFile_->setAcceptMode(QFileDialog::AcceptOpen);
        openFile_->setFileMode(QFileDialog::ExistingFile);
    }
    return openFile_;
}

QFileDialog* TForm1::SaveFile()
{
    if (!saveFile_) {
        saveFile_ = new QFileDialog(this);
        saveFile_->setObjectName(QStringLiteral("SaveFile"));
        saveFile_->setOption(QFileDialog::DontUseNativeDialog);
        UsePortugueseColumns(saveFile_);
        saveFile_->setAcceptMode(QFileDialog::AcceptSave);
        saveFile_->setFileMode(QFileDialog::AnyFile);
        saveFile_->setOption(QFileDialog::DontConfirmOverwrite, false);
    }
    return saveFile_;
}

QAction* TForm1::MakeAction(const char* objectName, const char* caption, void (TForm1::*handler)())
{
    auto* action = new QAction(Tr(caption), this);
    action->setObjectName(QString::fromLatin1(objectName));
    connect(action, &QAction::triggered, this, [this, handler]() { RunGuarded(handler); });
    // Shortcuts work from anywhere in the window, hidden menu items included.
    addAction(action);
    ActionList1.append(action);
    return action;
}

void TForm1::CreateActions()
{
    FileNew = MakeAction("FileNew", Texts::ActFileNew, &TForm1::FileNewExecute);
    FileNew->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    FileNew->setIcon(ImageList2.value(0));
    FileRemove = MakeAction("FileRemove", Texts::ActFileRemove, &TForm1::FileRemoveExecute);
    FileRemove->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    FileRemove->setIcon(ImageList2.value(1));
    FileRename = MakeAction("FileRename", Texts::ActFileRename, &TForm1::FileRenameExecute);
    FileDisk = MakeAction("FileDisk", Texts::ActFileDisk, &TForm1::FileDiskExecute);
    // Ctrl+D belongs to this action alone: two actions on one key would
    // leave the key doing nothing, and the next-task text names it here.
    FileDisk->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    FileDisk->setIcon(ImageList2.value(2));
    FileBackup = MakeAction("FileBackup", Texts::ActFileBackup, &TForm1::FileBackupExecute);
    FileBackup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    FileImport = MakeAction("FileImport", Texts::ActFileImport, &TForm1::FileImportExecute);
    FileImport->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    FileImport->setIcon(ImageList2.value(3));
    FileExport = MakeAction("FileExport", Texts::ActFileExport, &TForm1::FileExportExecute);
    FileExport->setIcon(ImageList2.value(4));
    FileDeal = MakeAction("FileDeal", Texts::ActFileDeal, &TForm1::FileDealExecute);
    FileExit = MakeAction("FileExit", Texts::ActFileExit, &TForm1::FileExitExecute);
    RequestAdd = MakeAction("RequestAdd", Texts::ActRequestAdd, &TForm1::RequestAddExecute);
    RequestAdd->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    RequestFill = MakeAction("RequestFill", Texts::ActRequestFill, &TForm1::RequestFillExecute);
    RequestFill->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    RequestFill->setIcon(ImageList2.value(5));
    RequestRemove = MakeAction("RequestRemove", Texts::ActRequestRemove, &TForm1::RequestRemoveExecute);
    RequestSend = MakeAction("RequestSend", Texts::ActRequestSend, &TForm1::RequestSendExecute);
    RequestSend->setIcon(ImageList2.value(6));
    RequestReceive = MakeAction("RequestReceive", Texts::ActRequestReceive, &TForm1::RequestReceiveExecute);
    RequestReceive->setIcon(ImageList2.value(7));
    HelpTopics = MakeAction("HelpTopics", Texts::ActHelpTopics, &TForm1::HelpTopicsExecute);
    HelpTopics->setShortcut(QKeySequence(Qt::Key_F1));
    HelpTopics->setIcon(ImageList2.value(8));
    HelpHow = MakeAction("HelpHow", Texts::ActHelpHow, &TForm1::HelpHowExecute);
    HelpHow->setIcon(ImageList2.value(9));
    HelpAbout = MakeAction("HelpAbout", Texts::ActHelpAbout, &TForm1::HelpAboutExecute);
    RequestOverview = new QAction(Tr(Texts::ActRequestOverview), this);
    RequestOverview->setObjectName(QStringLiteral("RequestOverview"));
    RequestOverview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(RequestOverview, &QAction::triggered, this, [this] { RunGuarded(&TForm1::RequestOverviewExecute); });
    addAction(RequestOverview);
}

void TForm1::CreateMenus()
{
    MenuFile = menuBar()->addMenu(Tr(Texts::MenuFile));
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    MenuFile->addAction(FileNew);
    MenuFile->addAction(FileRemove);
    MenuFile->addAction(FileRename);
    MenuFile->addAction(FileDisk);
    MenuFile->addSeparator();
    MenuFile->addAction(FileBackup);
    // Shown, so that export (which has no shortcut) can be started at all.
    MenuFile->addAction(FileImport);
    MenuFile->addAction(FileExport);
    MenuFile->addSeparator();
    MenuFile->addAction(FileDeal);
    // Not one of the workflow's actions: always offered.
    QAction* media = MenuFile->addAction(Tr(Texts::ActFileMedia));
    media->setObjectName(QStringLiteral("FileMedia"));
    connect(media, &QAction::triggered, this, [this] { RemovableMediaDialog::Choose(this, Paths); });
    MenuFile->addSeparator();
    MenuFile->addAction(FileExit);

    MenuRequest = menuBar()->addMenu(Tr(Texts::MenuRequest));
    MenuRequest->setObjectName(QStringLiteral("MenuRequest"));
    MenuRequest->addAction(RequestAdd);
    MenuRequest->addAction(RequestFill);
    MenuRequest->addAction(RequestRemove);
    MenuRequest->addAction(RequestSend);
    MenuRequest->addSeparator();
    MenuRequest->addAction(RequestReceive);
    MenuRequest->addSeparator();
    MenuRequest->addAction(RequestOverview);

    MenuHelp = menuBar()->addMenu(Tr(Texts::MenuHelp));
    MenuHelp->setObjectName(QStringLiteral("MenuHelp"));
    MenuHelp->addAction(HelpTopics);
    MenuHelp->addAction(HelpHow);
    MenuHelp->addSeparator();
    MenuHelp->addAction(HelpAbout);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    PopupMenu->addAction(FileNew);
    PopupMenu->addSeparator();
    PopupMenu->addAction(FileRemove);
    PopupMenu->addAction(FileRename);
    PopupMenu->addSeparator();
    PopupMenu->addAction(FileDisk);
}

void TForm1::RunGuarded(void (TForm1::*Handler)())
{
    // One action at a time: a shortcut that reaches the window while a step
    // waits in one of its dialogs must not run in the middle of that step.
    if (actionRunning_)
        return;
    const TRunningAction running(actionRunning_);
    try {
        (this->*Handler)();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()), this);
    }
}

// ---- start-up and shutdown ---------------------------------------------------

void TForm1::ReportStartFailure(const std::exception& e)
{
    StartFailed = true;
    ShowMessage(Tr(Texts::StartFailure) + QString::fromStdString(ClassAndMessage(e)), this);
}

void TForm1::FormCreate()
{
    AppDir = Paths.DataDir();
    AgreementFile.clear();
    Restored = 0;
    StartFailed = false;
    setWindowTitle(Tr(Texts::AppTitle));
    Dlg->Caption = Tr(Texts::AppTitle);

    try {
        session_ = std::make_unique<TEntitySession>(AppDir);
    } catch (const std::exception& e) {
        ReportStartFailure(e);
        return;
    }
    TUsersData& registry = session_->Registry();
    Views = new TViews(registry, panWork, [this](TCustomView* view) {
        view->setIconSize(QSize(32, 32));
        // The list views share the window's context menu.
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& pos) { PopupMenu->popup(view->viewport()->mapToGlobal(pos)); });
        view->OnEdited = [this](TCustomItem* item, QString& caption) {
            // Runs inside the item editor: a failure must not escape into it.
            try {
                ViewEdited(item, caption);
            } catch (const std::exception& e) {
                ShowMessage(QString::fromStdString(e.what()), this);
            }
        };
        panWork->layout()->addWidget(view);
    });
    Views->OnFill = [this](int n, TCustomView* view) {
        for (const TCertificateEntry& certificate : session_->Certificates(n))
            AddCertificateItem(*view, certificate);
    };
    Views->OnAdded = [this](TCustomView* view) {
        // A new entity's list becomes the current one.
        ActiveView = view;
    };
    Views->OnRemoving = [this](TCustomView* view) {
        if (ActiveView == view)
            ActiveView = nullptr;
    };
    registry.SetListener(Views);

    if (session_->Count() == 0) {
        UpdateActionStates();
        UpdateTip();
        return;
    }

    SetActiveCaption();
    FillEntityList();
    UpdateActionStates();

    ShowActiveView();
    resize(640, 400);
    CentreOnScreen();
    UpdateTip();
}

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    // After a failed start or a restore nothing is written: the files on
    // disk are the ones to keep.
    if (!StartFailed && Restored == 0 && session_) {
        try {
            session_->SaveOnExit(*Kit);
        } catch (const std::exception& e) {
            ShowMessage(Tr(Texts::SaveFailure) + QString::fromStdString(e.what()), this);
        }
    }
    if (session_)
        session_->Registry().SetListener(nullptr);
    ActiveView = nullptr;
    delete Views;
    Views = nullptr;
    session_.reset();
}

// ---- simple actions -----------------------------------------------------------

void TForm1::FileExitExecute()
{
    close();
}

void TForm1::HelpAboutExecute()
{
    TFrmAbout about(this);
    about.exec();
}

void TForm1::HelpTopicsExecute()
{
    if (Help)
        Help->ShowContents();
}

void TForm1::HelpHowExecute()
{
    if (Help)
        Help->ShowTopic(QStringLiteral("how.htm"));
}
