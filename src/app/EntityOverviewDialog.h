#pragma once
// "Visão Geral das Entidades": every live entity in one table, with its
// identifier, name, state, certificates and next task, for an office that
// keeps hundreds of client companies. The user sorts by any column, narrows
// the rows by part of a name or identifier and to the pending ones, and
// chooses an entity with Enter or a double click: the main window makes it
// the active one. The list shown can be exported for a spreadsheet.
//
// The window is not modal: it may stay open beside the main window. It takes
// its rows again from the session whenever it comes back to the front after
// the user worked elsewhere, and names entities by their number, so a choice
// made after entities were added or removed is still the entity shown.
#include "app/steps/EntityOverview.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class EntityOverviewFilter;
class EntityOverviewModel;
class HelpService;
class TEntitySession;

class EntityOverviewDialog : public QDialog {
    Q_OBJECT
public:
    // Session: the run's entities, which outlive the window. Help: may be
    // null.
    EntityOverviewDialog(const TEntitySession& Session, HelpService* Help = nullptr, QWidget* Parent = nullptr);
    ~EntityOverviewDialog() override;

    // Takes the rows from the session again; the filter, the order and the
    // row chosen (when its entity is still there) are kept.
    void Reload();
    // Makes the row of the entity numbered Number the current one; false
    // when it is not shown.
    bool ShowEntity(int32_t Number);
    // The entity of the current row: signalled, and the window closes
    // unless the user chose to keep it open. Nothing without a row.
    void Choose();
    // Asks for a file and writes the rows shown, in their order, to it.
    void ButtonExportClick();
    // The rows shown, in the order shown.
    std::vector<TOverviewRow> ShownRows() const;

    QLineEdit* EditFilter = nullptr;
    QCheckBox* CheckPending = nullptr;
    QCheckBox* CheckKeepOpen = nullptr;
    QTableView* Table = nullptr;
    QLabel* LabelShown = nullptr; // "n de m entidades"
    QPushButton* ButtonChoose = nullptr;
    QPushButton* ButtonExport = nullptr;
    QPushButton* ButtonHelp = nullptr;
    QPushButton* ButtonClose = nullptr;

signals:
    // The user chose the entity numbered Number.
    void EntityChosen(int Number);

protected:
    bool event(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // A row is current whenever one is shown, so that Enter always has one.
    void KeepACurrentRow();
    // After the filter changed: the row current Before stays so, else the
    // first row shown becomes current.
    void Refiltered(int32_t Before);
    void ShowCount();
    int32_t CurrentNumber() const;

    const TEntitySession& session_;
    HelpService* help_;
    EntityOverviewModel* model_;
    EntityOverviewFilter* filter_;
    // The user worked in another window since the rows were taken.
    bool stale_ = false;
};
