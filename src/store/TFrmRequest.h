#pragma once
// The entity request form: the modal dialog in which the user enters or
// corrects an entity's registration data (identifier, name, telephone,
// address, e-mail, profile and responsible persons). It edits the record it
// is given and writes it only when every check passes; it writes nothing to
// disk itself.
#include "store/EntityRegistration.h"
#include "store/RequestFieldRules.h"
#include "store/TUserData.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QWidget;

class HelpService;
class TDialog;
class TUsersData;

class TFrmRequest : public QDialog {
    Q_OBJECT
public:
    // Owner: the main window (the form is centred on it). Registry: where a
    // new entity's identifier is checked for duplicates; may be null when the
    // form is used on its own. Help: what the help button opens besides
    // telling HelpRequested; may be null.
    explicit TFrmRequest(QWidget* Owner = nullptr, TUsersData* Registry = nullptr, HelpService* Help = nullptr);
    ~TFrmRequest() override;

    // ---- fields -----------------------------------------------------------
    // The record being edited. The form starts with an empty record of its
    // own; the caller may point it at the registry's record before showing the
    // form. Never freed by the form.
    TUserData* UserData = nullptr;
    // True: registering a new entity; false: filling in or correcting one.
    bool NewEntity = false;
    // The number the next responsible person added is shown with.
    int32_t RespCounter = 0;
    TUsersData* Registry = nullptr;

    // ---- controls -----------------------------------------------------------
    QLabel* LabelMsg = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabId = nullptr;
    QWidget* TabLocale = nullptr;
    QWidget* TabResp = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonHelp = nullptr;

    QLabel* LabelProfiles = nullptr;
    QComboBox* ComboProfiles = nullptr;
    QLabel* LabelId = nullptr;
    QComboBox* ComboTypeId = nullptr;
    QLineEdit* EditId = nullptr;
    QLabel* LabelName = nullptr;
    QLineEdit* EditName = nullptr;
    QLabel* LabelPhone = nullptr;
    QLineEdit* EditPhone = nullptr;

    QLabel* LabelAddress = nullptr;
    QLineEdit* EditAddress = nullptr;
    QLabel* LabelLocale = nullptr;
    QLineEdit* EditLocale = nullptr;
    QLabel* LabelCity = nullptr;
    QLineEdit* EditCity = nullptr;
    QLabel* LabelZip = nullptr;
    QLineEdit* EditZip = nullptr;
    QLabel* LabelState = nullptr;
    QComboBox* ComboUF = nullptr;
    QLabel* LabelMail = nullptr;
    QLineEdit* EditMail = nullptr;

    QLabel* LabelResp = nullptr;
    QLineEdit* EdtResp = nullptr;
    QLabel* LabelCpfResp = nullptr;
    QLineEdit* EdtCpfResp = nullptr;
    QPushButton* BtnAdicionar = nullptr;
    QPushButton* BtnRemover = nullptr;
    QTreeWidget* ltvResp = nullptr;

    // The yes/no question about a doubtful identifier (application title).
    TDialog* QuestionBox = nullptr;

    // ---- operations ---------------------------------------------------------
    // Fills the controls from UserData.
    void LoadFromUserData();
    // The help page of the current mode.
    QString HelpTopic() const;
    // The note shown under a filtered field: what its filter changed or
    // dropped, and its length against the limit. Null for other fields.
    QLabel* NoteOf(const QLineEdit* Edit) const;

    // ---- event handlers -----------------------------------------------------
    void FormShow();
    void EdtCpfRespExit();
    void BtnAdicionarClick();
    void BtnRemoverClick();
    void ButtonOKClick();
    void ButtonHelpClick();

    // Key filters: Key is the typed character; a refused one is set to 0, a
    // lower-case letter is turned into its capital.
    static void EditNumericKeyPress(QChar& Key);
    // The identifier field: digits only for a CEI; for a CNPJ also the
    // letters A to Z (lower case becoming capitals).
    static void EditIdKeyPress(QChar& Key, bool Letters);
    static void EditAlfaKeyPress(QChar& Key);
    static void EditAllKeyPress(QChar& Key);

    // Cancel, Escape and the window's close box all give the result 2.
    void reject() override;

signals:
    // The help button was pressed (the program's help viewer opens Topic).
    void HelpRequested(const QString& Topic);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    enum class KeyFilter { None, Numeric, Identifier, Alfa, All };

    void FormCreate();
    void BuildPages();
    QLineEdit* MakeEdit(QWidget* Page, const char* Name, int MaxLength, KeyFilter Filter, bool NoContextMenu);
    bool FilterKey(QLineEdit* Edit, KeyFilter Filter, QKeyEvent* Event);
    // Enter in a responsible-person field: true when taken.
    bool PersonFieldEnter(QLineEdit* Edit, QKeyEvent* Event);
    // KeepByDefault: Enter answers No.
    bool AskYesNo(const QString& Text, bool KeepByDefault = false);
    QLabel* AddNote(QLineEdit* Edit, const QLabel* Caption);
    void ShowNote(QLineEdit* Edit);
    // The filtered fields that hold words keep no leading, trailing or
    // doubled space; the field shows what is kept.
    void TidyWordFields();
    // A person typed but not added when OK is pressed: added when the name
    // and CPF allow it, else the user is asked. False: the form stays open.
    bool SettlePendingPerson();
    // Adds the person in the fields when the name and CPF allow it, else
    // says why (Quiet: only returns why) and puts the keyboard on the field
    // to correct.
    TRespProblem AddPerson(bool Quiet);
    // What the fields hold, for the registration check.
    TRegistrationFields Fields() const;

    HelpService* Help_;
    std::unique_ptr<TUserData> OwnUserData_;
    QList<QPair<QLineEdit*, KeyFilter>> Filters_;
    struct Note {
        QLineEdit* edit;
        QLabel* label;
        TFieldNote note;
    };
    std::vector<Note> Notes_;
};
