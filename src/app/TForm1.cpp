#include "app/TForm1.h"

#include "app/RemovableMediaDialog.h"
#include "app/TCustomItem.h"
#include "app/TCustomView.h"
#include "app/TViews.h"
#include "help/TDialog.h"
#include "help/TFrmAbout.h"
#include "help/THelp.h"
#include "help/TPublicData.h"
#include "base/Exception.h"
#include "store/TRequestFile.h"
#include "store/TUserData.h"
#include "store/TUsersData.h"
#include "base/Texts.h"
#include "ui/HtmlView.h"
#include "ui/MessageBox.h"
#include "ui/Pictures.h"
#include "ui/Text1252.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include <sstream>

namespace {

const char* const kGeneral = "General";

std::vector<std::string> SplitCommaList(const std::string& text)
{
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ','))
        items.push_back(item);
    return items;
}

} // namespace

int TForm1::RestartFlag()
{
    return qApp ? qApp->property("Tag").toInt() : 0;
}

void TForm1::SetRestartFlag(int Value)
{
    if (qApp)
        qApp->setProperty("Tag", Value);
}

TForm1::TForm1(const ProgramPaths& paths, QWidget* parent) : QMainWindow(parent), Paths(paths)
{
    Construct();
}

TForm1::TForm1(const std::string& appDir, QWidget* parent)
    : QMainWindow(parent), Paths(appDir.empty() ? ProgramPaths::ForExecutableFolder(ProgramPaths::ExecutableFolder())
                                                : ProgramPaths(appDir, appDir))
{
    Construct();
}

void TForm1::Construct()
{
    setObjectName(QStringLiteral("Form1"));
    AppDir = Paths.DataDir();
    CreateComponents();
    CreateActions();
    CreateMenus();
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
    Tip->setFont(QFont(QStringLiteral("Arial"), 9));
    tipLayout->addWidget(Tip);
    connect(Tip, &HtmlView::HotSpotClick, this, [this](const QString& target, bool& handled) {
        handled = true;
        if (actionRunning_)
            return;
        actionRunning_ = true;
        try {
            TipHotSpotClick(target);
        } catch (const std::exception& e) {
            ShowMessage(QString::fromStdString(e.what()), this);
        }
        actionRunning_ = false;
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
    selector->addWidget(Label1);
    selector->addWidget(cbxEntity);
    // On top even when no list view is there to fill the space below.
    work->addWidget(Panel2, 0, Qt::AlignTop);
    // Only the user's choice switches entity; refilling the list does not.
    connect(cbxEntity, &QComboBox::activated, this, [this](int) {
        if (actionRunning_) {
            // The step in progress works on the entity shown.
            if (Registry && Registry->ActiveIndex() > 0)
                cbxEntity->setCurrentIndex(Registry->ActiveIndex() - 1);
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
    // Import and export keep their menu places but do not show; the actions
    // themselves stay live (shortcut, enabling) through the window.
    for (QAction* hidden : {FileImport, FileExport}) {
        QAction* item = MenuFile->addAction(hidden->icon(), hidden->text());
        item->setObjectName(hidden->objectName() + QStringLiteral("Item"));
        item->setVisible(false);
        connect(item, &QAction::triggered, hidden, &QAction::trigger);
        connect(hidden, &QAction::enabledChanged, item, &QAction::setEnabled);
    }
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
    actionRunning_ = true;
    try {
        (this->*Handler)();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()), this);
    }
    actionRunning_ = false;
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
        RegistryFile = new TRequestFile(AppDir + "ENTITY.DAT");
        Registry = new TUsersData(*RegistryFile, AppDir);
    } catch (const std::exception& e) {
        ReportStartFailure(e);
        return;
    }
    Views = new TViews(*Registry, panWork, [this](TCustomView* view) {
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
    Views->OnAdded = [this](TCustomView* view) {
        // A new entity's list becomes the current one.
        ActiveView = view;
    };
    Views->OnRemoving = [this](TCustomView* view) {
        if (ActiveView == view)
            ActiveView = nullptr;
    };
    Registry->SetListener(Views);

    if (Registry->Count() == 0) {
        ApplyActionRule(false, false);
        UpdateTip();
        return;
    }

    try {
        ActiveEntity = Registry->Activate(Registry->ActiveIndex());
        ActiveStorage = Registry->Storage(Registry->ActiveIndex());
        SetActiveCaption();
        ActiveStorage->UpdateFile();
    } catch (const std::exception& e) {
        ReportStartFailure(e);
        return;
    }

    FillEntityList();
    ApplyActionRule(RegistryFile->ReadInteger(kGeneral, "Count", 0) > 0, false);

    for (int n = 1; n <= Registry->Count(); ++n) {
        ActiveStorage = Registry->Storage(n);
        ActiveView = Views->View(n);
        const std::string master = ActiveStorage->ReadString(kGeneral, "MasterKey", "");
        AddCertificateItem(master, ActiveStorage->ReadString(master, "Name", ""));
        for (const std::string& id : SplitCommaList(ActiveStorage->ReadString(kGeneral, "Keys", "")))
            AddCertificateItem(id, ActiveStorage->ReadString(id, "Name", ""));
    }

    FollowEntity(Registry->ActiveIndex());
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
    if (!StartFailed && Restored == 0 && Registry) {
        try {
            StampFingerprints();
            RegistryFile->WriteInteger(kGeneral, "Count", Registry->Count());
            RegistryFile->WriteInteger(kGeneral, "CountAll", Registry->CountAll());
            RegistryFile->WriteInteger(kGeneral, "ActiveIndex", Registry->ActiveIndex());
            RegistryFile->UpdateFile();
        } catch (const std::exception& e) {
            ShowMessage(Tr(Texts::SaveFailure) + QString::fromStdString(e.what()), this);
        }
    }
    if (Registry)
        Registry->SetListener(nullptr);
    ActiveView = nullptr;
    ActiveStorage = nullptr;
    ActiveEntity = nullptr;
    delete Views;
    Views = nullptr;
    delete Registry;
    Registry = nullptr;
    delete RegistryFile;
    RegistryFile = nullptr;
}

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
    cbxEntity->clear();
    for (int n = 1; n <= Registry->Count(); ++n)
        cbxEntity->addItem(EntityItemText(n));
    if (Registry->ActiveIndex() > 0)
        cbxEntity->setCurrentIndex(Registry->ActiveIndex() - 1);
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
    for (QAction* a : {FileNew, FileDeal, FileRemove, FileRename, FileDisk, FileImport, FileExport, RequestFill,
                       RequestRemove, RequestSend, RequestReceive})
        a->setEnabled(false);
    const bool masterEmpty = !ActiveStorage || ActiveStorage->ReadString(kGeneral, "MasterKey", "").empty();
    if (HaveEntities) {
        for (QAction* a : {FileNew, FileDeal, RequestFill, RequestRemove})
            a->setEnabled(true);
        if (!masterEmpty) {
            for (QAction* a : {FileRemove, FileRename, FileImport, FileExport, RequestSend})
                a->setEnabled(true);
            if (ActiveStorage->ReadBool(kGeneral, "RequestSent", false)) {
                RequestReceive->setEnabled(true);
                if (ActiveStorage->ReadBool(kGeneral, "RequestReceived", false)) {
                    for (QAction* a : {FileNew, FileDeal, RequestSend})
                        a->setEnabled(false);
                    if (AllCertificatesSigned())
                        RequestReceive->setEnabled(false);
                    FileDisk->setEnabled(true);
                }
            }
        }
    }
    if (ClosingStep && ActiveStorage && masterEmpty) {
        FileNew->setEnabled(true);
        FileDeal->setEnabled(true);
        for (QAction* a : {FileRemove, FileRename, FileDisk, FileImport, FileExport, RequestSend, RequestReceive})
            a->setEnabled(false);
    }
}

bool TForm1::AllCertificatesSigned()
{
    if (!ActiveStorage)
        return false;
    std::vector<std::string> ids{ActiveStorage->ReadString(kGeneral, "MasterKey", "")};
    for (const std::string& id : SplitCommaList(ActiveStorage->ReadString(kGeneral, "Keys", "")))
        ids.push_back(id);
    for (const std::string& id : ids) {
        // An empty identifier (no master yet) names no signed certificate.
        if (id.empty() || !ActiveStorage->ReadBool(id, "Signed", false))
            return false;
    }
    return true;
}

void TForm1::UpdateTip()
{
    const char* text = Texts::TipRequestFill;
    if (!Registry || Registry->Count() == 0)
        text = Texts::TipRequestAdd;
    else if (ActiveStorage) {
        if (ActiveStorage->ReadBool(kGeneral, "RequestReceived", false))
            text = Texts::TipFileDisk;
        else if (ActiveStorage->ReadBool(kGeneral, "RequestSent", false))
            text = Texts::TipRequestReceive;
        else if (!ActiveStorage->ReadString(kGeneral, "MasterKey", "").empty())
            text = Texts::TipRequestSend;
        else if (ActiveStorage->ReadBool(kGeneral, "Request", false))
            text = Texts::TipFileNew;
    }
    Tip->LoadFromString(std::string(text));
}

void TForm1::RefreshEntityList()
{
    cbxEntity->clear();
    if (Registry) {
        for (int n = 1; n <= Registry->Count(); ++n)
            cbxEntity->addItem(EntityItemText(n));
        if (Registry->ActiveIndex() > 0)
            cbxEntity->setCurrentIndex(Registry->ActiveIndex() - 1);
    }
    UpdateActionStates(ActiveStorage != nullptr);
    UpdateTip();
}

void TForm1::cbxEntityChange()
{
    if (!Registry || cbxEntity->count() == 0 || cbxEntity->currentIndex() < 0)
        return;
    // The inscription is between the parentheses that end the item; the
    // Razao before them may hold parentheses of its own.
    const QString item = cbxEntity->currentText();
    if (!item.endsWith(QLatin1Char(')')))
        return;
    const qsizetype open = item.lastIndexOf(QLatin1Char('('));
    if (open < 0)
        return;
    const std::string inscription = ToAnsi(item.mid(open + 1, item.size() - open - 2));
    TUserData* entity = Registry->ActivateByInscription(inscription);
    if (!entity)
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
    if (TPublicData* module = TPublicData::Instance())
        ShowHelpTopic(module->HelpWin->Contents());
}

void TForm1::HelpHowExecute()
{
    ShowHelpTopic(QStringLiteral("how.htm"));
}
