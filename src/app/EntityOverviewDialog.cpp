#include "app/EntityOverviewDialog.h"

#include "app/EntityOverviewFilter.h"
#include "app/EntityOverviewModel.h"
#include "app/steps/TEntitySession.h"
#include "base/FormatText.h"
#include "base/Texts.h"
#include "help/HelpService.h"
#include "ui/MessageBox.h"
#include "ui/NameFilter.h"
#include "ui/PortugueseFileColumns.h"
#include "ui/TDialog.h"
#include "ui/Text1252.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <cstring>
#include <sys/stat.h>

namespace {

bool HasExtension(const std::string& FileName)
{
    const std::size_t slash = FileName.find_last_of('/');
    const std::size_t dot = FileName.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

} // namespace

EntityOverviewDialog::EntityOverviewDialog(const TEntitySession& Session, HelpService* Help, QWidget* Parent)
    : QDialog(Parent), session_(Session), help_(Help), model_(new EntityOverviewModel(this)),
      filter_(new EntityOverviewFilter(*model_, this))
{
    setObjectName(QStringLiteral("EntityOverviewDialog"));
    setWindowTitle(Tr(Texts::OvCaption));
    setModal(false);
    setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* filterLabel = new QLabel(Tr(Texts::OvFilter), this);
    filterLabel->setObjectName(QStringLiteral("LabelFilter"));
    EditFilter = new QLineEdit(this);
    EditFilter->setObjectName(QStringLiteral("EditFilter"));
    EditFilter->setPlaceholderText(Tr(Texts::OvFilterHint));
    EditFilter->setClearButtonEnabled(true);
    EditFilter->setAccessibleName(Tr(Texts::AccOvFilter));
    EditFilter->setAccessibleDescription(Tr(Texts::AccOvFilterDescription));
    filterLabel->setBuddy(EditFilter);
    CheckPending = new QCheckBox(Tr(Texts::OvPendingOnly), this);
    CheckPending->setObjectName(QStringLiteral("CheckPending"));
    top->addWidget(filterLabel);
    top->addWidget(EditFilter, 1);
    top->addWidget(CheckPending);
    layout->addLayout(top);

    auto* tableLabel = new QLabel(Tr(Texts::OvTable), this);
    tableLabel->setObjectName(QStringLiteral("LabelTable"));
    layout->addWidget(tableLabel);
    Table = new QTableView(this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setModel(filter_);
    Table->setAccessibleName(Tr(Texts::AccOvTable));
    Table->setAccessibleDescription(Tr(Texts::AccOvTableDescription));
    tableLabel->setBuddy(Table);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setTabKeyNavigation(false); // Tab leaves the table for the buttons
    Table->setAlternatingRowColors(true);
    Table->setWordWrap(false);
    Table->verticalHeader()->hide();
    // Rows of one height, known without measuring each: thousands of rows
    // are laid out at once.
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table->verticalHeader()->setDefaultSectionSize(Table->fontMetrics().height() + 6);
    QHeaderView* header = Table->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(EntityOverviewModel::ColRazao, QHeaderView::Stretch);
    const QFontMetrics metrics = Table->fontMetrics();
    const auto widthOf = [&metrics](const QString& Widest) { return metrics.horizontalAdvance(Widest) + 24; };
    header->resizeSection(EntityOverviewModel::ColInscription, widthOf(QStringLiteral("00.ABC.000/00DE-00")));
    header->resizeSection(EntityOverviewModel::ColState, widthOf(Tr(Texts::OvStateReceived) + QStringLiteral("  ")));
    header->resizeSection(EntityOverviewModel::ColSigned, widthOf(Tr(Texts::OvColSigned)));
    header->resizeSection(EntityOverviewModel::ColUnsigned, widthOf(Tr(Texts::OvColUnsigned)));
    header->resizeSection(EntityOverviewModel::ColNextTask, widthOf(Tr(Texts::OvTaskRequestFill)));
    layout->addWidget(Table, 1);

    auto* bottom = new QHBoxLayout;
    LabelShown = new QLabel(this);
    LabelShown->setObjectName(QStringLiteral("LabelShown"));
    CheckKeepOpen = new QCheckBox(Tr(Texts::OvKeepOpen), this);
    CheckKeepOpen->setObjectName(QStringLiteral("CheckKeepOpen"));
    ButtonChoose = new QPushButton(Tr(Texts::OvChoose), this);
    ButtonChoose->setObjectName(QStringLiteral("ButtonChoose"));
    ButtonExport = new QPushButton(Tr(Texts::OvExport), this);
    ButtonExport->setObjectName(QStringLiteral("ButtonExport"));
    ButtonHelp = new QPushButton(Tr(Texts::OvHelp), this);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonClose = new QPushButton(Tr(Texts::OvClose), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    // Enter chooses the entity of the row, from the filter field as from
    // the table: the dialog's default button.
    ButtonChoose->setDefault(true);
    for (QPushButton* button : {ButtonExport, ButtonHelp, ButtonClose})
        button->setAutoDefault(false);
    bottom->addWidget(LabelShown, 1);
    bottom->addWidget(CheckKeepOpen);
    bottom->addWidget(ButtonChoose);
    bottom->addWidget(ButtonExport);
    bottom->addWidget(ButtonHelp);
    bottom->addWidget(ButtonClose);
    layout->addLayout(bottom);

    setTabOrder(EditFilter, CheckPending);
    setTabOrder(CheckPending, Table);
    setTabOrder(Table, CheckKeepOpen);
    setTabOrder(CheckKeepOpen, ButtonChoose);
    setTabOrder(ButtonChoose, ButtonExport);
    setTabOrder(ButtonExport, ButtonHelp);
    setTabOrder(ButtonHelp, ButtonClose);

    connect(EditFilter, &QLineEdit::textChanged, this, [this](const QString& text) {
        const int32_t before = CurrentNumber();
        filter_->SetQuery(text);
        Refiltered(before);
    });
    connect(CheckPending, &QCheckBox::toggled, this, [this](bool on) {
        const int32_t before = CurrentNumber();
        filter_->SetPendingOnly(on);
        Refiltered(before);
    });
    connect(Table, &QAbstractItemView::doubleClicked, this, [this] { Choose(); });
    connect(ButtonChoose, &QPushButton::clicked, this, [this] { Choose(); });
    connect(ButtonExport, &QPushButton::clicked, this, [this] { ButtonExportClick(); });
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonHelp, &QPushButton::clicked, this, [this] {
        if (help_)
            help_->ShowTopic(QStringLiteral("overview.htm"));
    });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        EditFilter->setFocus(Qt::ShortcutFocusReason);
        EditFilter->selectAll();
    });
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, ButtonHelp, &QPushButton::click);
    // The arrows in the filter field go on into the table.
    EditFilter->installEventFilter(this);

    Table->setSortingEnabled(true);
    Table->sortByColumn(EntityOverviewModel::ColRazao, Qt::AscendingOrder);
    resize(960, 520);
    EditFilter->setFocus();
}

EntityOverviewDialog::~EntityOverviewDialog() = default;

void EntityOverviewDialog::Reload()
{
    const int32_t current = CurrentNumber();
    model_->SetRows(EntityOverview::Rows(session_));
    stale_ = false;
    const TUserData* active = session_.ActiveEntity();
    ShowEntity(current > 0 ? current : active ? session_.Registry().Number(session_.ActivePosition()) : 0);
    KeepACurrentRow();
    ShowCount();
}

bool EntityOverviewDialog::ShowEntity(int32_t Number)
{
    const int row = model_->RowOfNumber(Number);
    if (row < 0)
        return false;
    const QModelIndex shown = filter_->mapFromSource(model_->index(row, 0));
    if (!shown.isValid())
        return false;
    Table->setCurrentIndex(shown);
    Table->scrollTo(shown);
    return true;
}

void EntityOverviewDialog::Refiltered(int32_t Before)
{
    // The row chosen stays chosen while it is shown; once the filter hides
    // it, Enter takes the first row shown, the best guess of what the user
    // is typing towards (not the neighbour that took its place).
    if (!ShowEntity(Before) && filter_->rowCount() > 0) {
        Table->setCurrentIndex(filter_->index(0, 0));
        Table->scrollToTop();
    }
    ShowCount();
}

int32_t EntityOverviewDialog::CurrentNumber() const
{
    const QModelIndex current = filter_->mapToSource(Table->currentIndex());
    return current.isValid() ? model_->Row(current.row()).Number : 0;
}

void EntityOverviewDialog::KeepACurrentRow()
{
    if (Table->currentIndex().isValid() || filter_->rowCount() == 0)
        return;
    Table->setCurrentIndex(filter_->index(0, 0));
    Table->scrollToTop();
}

void EntityOverviewDialog::ShowCount()
{
    LabelShown->setText(QString::fromStdString(
        FormatText(Texts::OvShown, {std::to_string(filter_->rowCount()), std::to_string(model_->rowCount())})));
}

void EntityOverviewDialog::Choose()
{
    const int32_t number = CurrentNumber();
    if (number <= 0)
        return;
    emit EntityChosen(number);
    if (!CheckKeepOpen->isChecked())
        accept();
}

std::vector<TOverviewRow> EntityOverviewDialog::ShownRows() const
{
    std::vector<TOverviewRow> rows;
    rows.reserve(static_cast<std::size_t>(filter_->rowCount()));
    for (int i = 0; i < filter_->rowCount(); ++i)
        rows.push_back(model_->Row(filter_->mapToSource(filter_->index(i, 0)).row()));
    return rows;
}

void EntityOverviewDialog::ButtonExportClick()
{
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ExportFile"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    UsePortugueseColumns(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Asked below, about the name really written, with No as the answer
    // that Enter gives.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setWindowTitle(Tr(Texts::OvExportTitle));
    dialog.setNameFilters(NameFilters(Texts::OvExportFilter));
    dialog.selectFile(Tr(Texts::OvExportName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    std::string fileName = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    if (fileName.empty())
        return;
    if (!HasExtension(fileName))
        fileName += ".csv";
    const QString shownName = QFile::decodeName(fileName.c_str());

    struct stat st {};
    if (::lstat(fileName.c_str(), &st) == 0) {
        TDialog question(this);
        question.Caption = windowTitle();
        question.SetDialogButtons(dtYesNo, true);
        question.DialogType = mtConfirmation;
        if (question.Execute(QString::fromStdString(FormatText(Texts::ReplaceFileQuestion, {shownName.toStdString()})))
            != mrYes)
            return;
    }
    const std::vector<TOverviewRow> rows = ShownRows();
    const int failure = EntityOverview::WriteCsv(fileName, rows);
    if (failure != 0) {
        ShowMessage(QString::fromStdString(FormatText(Texts::OvExportFailed, {shownName.toStdString()}))
                        + QString::fromLocal8Bit(std::strerror(failure)),
                    this);
        return;
    }
    ShowMessage(
        QString::fromStdString(FormatText(Texts::OvExportDone, {std::to_string(rows.size()), shownName.toStdString()})),
        this);
}

bool EntityOverviewDialog::event(QEvent* Event)
{
    if (Event->type() == QEvent::WindowDeactivate) {
        stale_ = true;
    } else if (Event->type() == QEvent::WindowActivate && stale_ && isVisible()) {
        // The main window may have changed any entity meanwhile.
        Reload();
    }
    return QDialog::event(Event);
}

bool EntityOverviewDialog::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == EditFilter && Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_PageDown || key == Qt::Key_PageUp) {
            Table->setFocus(Qt::OtherFocusReason);
            QApplication::sendEvent(Table, Event);
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}
