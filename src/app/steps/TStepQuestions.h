#pragma once
// What a certificate step asks the user, and what it tells the window. The
// main window answers with its real dialogs; tests answer with scripts.
//
// Texts handed over are UTF-8 (the program's texts table, with file names
// and identifiers inserted). Certificate names are data-file bytes
// (Windows-1252) and are passed apart, for the window to convert.
#include "base/ModalResult.h"
#include "crypto/TPwdMode.h"

#include <memory>
#include <string>

class TRSAMedia;

// The button sets of the message dialog that the steps use. The "Keep" sets
// ask before something is deleted or replaced: their No or Cancel is the
// button that Enter presses, so that an answer given by habit keeps it.
enum class TStepButtons { OK, YesNo, OKCancel, YesNoKeep, OKCancelKeep };

// One run of the password dialog. Destroying it frees the dialog, whose
// buffers are zeroed then; a step keeps it no longer than it needs the
// passwords.
class TPasswordAnswer {
public:
    virtual ~TPasswordAnswer() = default;
    // 1 after an accepted OK, 2 after Cancel.
    virtual int Result() const = 0;
    // The current password (AskPassword and ChangePassword).
    virtual void GetPassword(std::string& Password) const = 0;
    // The new password (NewPassword and ChangePassword).
    virtual void GetNewPassword(std::string& Password) const = 0;
};

// A file to choose: dialog title, filter in the "text|pattern|text|pattern"
// form, and a proposal (folder as a path; name as data-file bytes).
struct TFileQuestion {
    std::string Title;
    std::string Filter;
    std::string Folder;
    std::string ProposedName;
};

class TStepQuestions {
public:
    virtual ~TStepQuestions() = default;

    // The message dialog with its Inform, Confirm and Warn faces; returns the
    // modal result.
    virtual int Inform(const std::string& Text, TStepButtons Buttons) = 0;
    virtual int Confirm(const std::string& Text, TStepButtons Buttons) = 0;
    virtual int Warn(const std::string& Text, TStepButtons Buttons) = 0;
    // A plain message with an OK button.
    virtual void Show(const std::string& Text) = 0;
    // Asks for the removable medium with Text (OK and Cancel) before the
    // step probes the drive folder Drive; returns the modal result. A window
    // may offer to choose another folder for the drive when Drive is
    // missing.
    virtual int InsertMedium(const std::string& Text, const std::string& /*Drive*/)
    {
        return Inform(Text, TStepButtons::OKCancel);
    }

    // Runs the password dialog once. CertificateName (data-file bytes) is
    // shown in the AskPassword message; empty gives the dialog's default.
    virtual std::unique_ptr<TPasswordAnswer> AskPassword(KeyFilePwd::TPwdMode Mode,
                                                         const std::string& CertificateName) = 0;

    // Open and save dialogs; false when cancelled. FileName is a path.
    // Neither asks about an existing file: the step does, once it knows the
    // name it will really write.
    virtual bool ChooseOpenFile(const TFileQuestion& Question, std::string& FileName) = 0;
    virtual bool ChooseSaveFile(const TFileQuestion& Question, std::string& FileName) = 0;

    // The kit's mouse-seed dialog for a new key (TRSAMedia::GatherSeed).
    // Raises what the kit raises; a cancelled collection gives a zero seed.
    virtual void GatherSeed(TRSAMedia& Media, std::string& Seed) = 0;

    // Lets the screen repaint, without running anything the user typed or
    // clicked meanwhile.
    virtual void Repaint() {}
    // The hourglass on (true) or off.
    virtual void Busy(bool /*On*/) {}

    // What changed in the active entity's list of certificates.
    // A new certificate; Edit asks for the caption to be edited at once.
    virtual void CertificateAdded(const std::string& /*Id*/, const std::string& /*Name*/, bool /*Edit*/) {}
    // A certificate's Name or Signed changed: its item is found by Id.
    virtual void CertificateChanged(const std::string& /*Id*/) {}
    virtual void CertificateRemoved(const std::string& /*Id*/) {}
};

// The hourglass for the life of a scope.
class TBusyScope {
public:
    explicit TBusyScope(TStepQuestions& Ask) : Ask_(Ask) { Ask_.Busy(true); }
    ~TBusyScope() { Ask_.Busy(false); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TStepQuestions& Ask_;
};
