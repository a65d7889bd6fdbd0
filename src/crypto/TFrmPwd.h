#pragma once
// The modal dialog in which the user types the password of a key file: the
// current one before a key is used, a new provisional one when a key is
// created, or the current one and a new permanent one when the certificate
// diskette is made. It filters what may be typed (0-9 and A-Z, at most 16),
// checks a new password against its confirmation and the rules, and hands the
// accepted passwords over in two 32-byte buffers locked in memory, which are
// zeroed when the dialog is destroyed. One dialog per attempt.
#include "crypto/TLockedBuffer.h"
#include "crypto/TPwdMode.h"

#include <QDialog>
#include <QElapsedTimer>

#include <functional>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

class HelpService;

namespace KeyFilePwd {

// A rule takes the candidate password and accepts it with True; a rule that
// rejects sets RuleMessage.
using TRule = std::function<bool(const std::string& Password)>;
using TRules = std::vector<TRule>;

// The text of the last rejection.
extern std::string RuleMessage;

constexpr int MinimumPasswordLength = 8;
constexpr int MaximumPasswordLength = 16;
constexpr int PasswordBufferSize = 32;

// Accepts 8 or more characters.
bool MinimumLengthRule(const std::string& Password);

} // namespace KeyFilePwd

class TFrmPwd : public QDialog {
    Q_OBJECT
public:
    using TPwdMode = KeyFilePwd::TPwdMode;

    // Help: what the help button opens; none, and the button does nothing.
    explicit TFrmPwd(QWidget* Owner = nullptr, HelpService* Help = nullptr);
    ~TFrmPwd() override;

    // Builds the edits and the message for Mode, shows the dialog modally
    // and returns 1 after an accepted OK, 2 after Cancel or closing.
    int Execute(TPwdMode Mode);
    int ExecuteFor(TPwdMode Mode, const std::string& CertificateName);

    // The current password (not in pmNewPassword, where Password is left
    // as it is): from the locked buffer, or from the edit when no buffer
    // could be had.
    void GetPassword(std::string& Password) const;
    // The new password (not in pmAskPassword, where Password is left as it is).
    void GetNewPassword(std::string& Password) const;

    TPwdMode Mode = KeyFilePwd::pmAskPassword;
    std::string CertificateName;
    KeyFilePwd::TRules Rules;

    // The password buffers; null when locked memory could not be had.
    char* PasswordBuffer = nullptr;
    char* NewPasswordBuffer = nullptr;

    // Designed controls.
    QLabel* LabelMsg = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonHelp = nullptr;

    // Run-time edits and their labels; null until made and after being freed.
    QLineEdit* PWD = nullptr;
    QLabel* LabelPWD = nullptr;
    QLineEdit* NewPWD = nullptr;
    QLabel* LabelNewPWD = nullptr;
    QLineEdit* ConfirmPWD = nullptr;
    QLabel* LabelConfirmPWD = nullptr;

    // Keys pressed for the dialog shown before this one (the seed dialog
    // asks for keys to be pressed, and closes while they still are) never
    // reach it: key presses are taken only once the keyboard has been still
    // for this long since the dialog was shown, and a key held down from
    // before never repeats into it.
    int KeySettleMs = 500;

    // The dialog's height as laid out for the mode (150, 180 or 210, frame
    // and caption included), plus what a message longer than its label
    // holds in the screen's font adds.
    int FormHeight() const { return FHeight; }

    void ButtonOKClick();
    void ButtonHelpClick();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void FormDestroy();
    // The key filter: returns true when the key press is consumed.
    bool PasswordKeyPress(QLineEdit* Edit, class QKeyEvent* Key);
    // True for a key press that belongs to what was typed before the dialog
    // was shown (see KeySettleMs).
    bool LeftOverKey(const QKeyEvent* Key);
    // Marks a context-menu request handled, so that none is shown.
    bool ContextPopup(QEvent* Event);
    QLineEdit* MakeEdit(const char* Name, int Top);
    QLabel* MakeLabel(const char* Name, const char* Caption, int Top);
    void SetHeight(int Height);
    // Grows the message label to its text and moves what lies below it.
    void FitMessage();
    // Overwrites what the edit holds and empties it.
    void Blank(QLineEdit* Edit);
    void FreeRunTimeControls();
    // Moves an edit's text into a locked buffer as NUL-terminated text.
    static void CopyInto(char* Buffer, QLineEdit* Edit);
    // Without the locked buffers: the edit's text into Password, leaving no
    // copy behind.
    static void AssignWiping(std::string& Password, const QLineEdit* Edit);

    // Shows a rejection in a warning dialog over this one.
    void ShowRejection(const QString& Text);

    HelpService* FHelp;
    TLockedBuffer* FPasswordLocked = nullptr;
    TLockedBuffer* FNewPasswordLocked = nullptr;
    int FHeight = 150;
    QElapsedTimer FShown;
    qint64 FLastLeftOver = 0; // ms after FShown
    bool FTakingKeys = false;
    std::set<int> FPressedHere;
};
