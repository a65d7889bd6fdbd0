#pragma once
// The program's own modal message box. Each Execute builds a small window
// with an icon for the kind of message, the word-wrapped text, an optional
// check box that switches a warning off, and a column of buttons; it returns
// the modal result of the button pressed:
//   Yes 6, No 7, OK 1, Cancel 2, Abort 3, Retry 4, Ignore 5, All 8,
//   No to all 9, Yes to all 10, Help 0.
#include <QObject>
#include <QString>
#include "base/ModalResult.h"

#include <QStringList>

#include <string>

enum TDialogButtons { dtOK, dtYesNo, dtYesNoCancel, dtOKCancel, dtAbortRetryIgnore, dtYesNoAll };
enum TDialogType { mtWarning, mtError, mtInformation, mtConfirmation };

class TDialog : public QObject {
    Q_OBJECT
public:
    explicit TDialog(QObject* parent = nullptr);

    // Window title; the application title unless changed.
    QString Caption;
    TDialogButtons DialogButtons() const { return buttons_; }
    // KeepByDefault makes No or Cancel the button that Enter presses: the
    // question before something is deleted or replaced, which a user who
    // answers by habit must not lose.
    void SetDialogButtons(TDialogButtons Buttons, bool KeepByDefault = false);
    TDialogType DialogType = mtWarning;
    // Whether the warning that the check box controls is on; the check box
    // shows it inverted and writes it back unless the answer is Cancel or
    // Abort.
    bool EnableWarning = true;
    // Lines "name=text" for ShowNamed.
    QStringList Messages;
    bool ShowWarningMessage = false;
    QString WarningMessage;

    // Builds the window for Text, shows it modally, returns the result.
    int Execute(const QString& Text);
    int Execute(const std::string& Utf8Text) { return Execute(QString::fromStdString(Utf8Text)); }
    int Execute(const char* Utf8Text) { return Execute(QString::fromUtf8(Utf8Text)); }
    // Text of the line Name in Messages, or Name itself when there is none
    // or its text is empty; then Execute.
    int ShowNamed(const QString& Name);
    int Confirm(const QString& Name);
    int Inform(const QString& Name);
    int Warn(const QString& Name);

    // The eleven buttons, in layout order.
    enum ButtonIndex { bYes, bNo, bOK, bCancel, bAbort, bRetry, bIgnore, bAll, bNoToAll, bYesToAll, bHelp };
    static constexpr int ButtonCount = 11;
    static const char* ButtonName(int Index);
    static int ButtonResult(int Index);
    // Bit i set when button i belongs to the set.
    static unsigned ButtonSet(TDialogButtons Buttons);

    // Called with the built window just before it is shown (tests and
    // screenshots look at it); the window is freed after Execute returns.
    void (*BeforeShow)(QWidget* Window) = nullptr;

private:
    TDialogButtons buttons_ = dtOK;
    unsigned set_ = 0;
    bool keepByDefault_ = false;
};
