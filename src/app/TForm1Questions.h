#pragma once
// The main window's answers to the certificate steps: its message dialog,
// the password dialog, Qt's own open and save dialogs, the kit's seed
// dialog, and its certificate list.
#include "app/steps/TStepQuestions.h"

class TForm1;

class TForm1Questions : public TStepQuestions {
public:
    explicit TForm1Questions(TForm1& Form) : Form_(Form) {}

    int Inform(const std::string& Text, TStepButtons Buttons) override;
    int Confirm(const std::string& Text, TStepButtons Buttons) override;
    int Warn(const std::string& Text, TStepButtons Buttons) override;
    void Show(const std::string& Text) override;
    int InsertMedium(const std::string& Text, const std::string& Drive) override;
    std::unique_ptr<TPasswordAnswer> AskPassword(KeyFilePwd::TPwdMode Mode,
                                                 const std::string& CertificateName) override;
    bool ChooseOpenFile(const TFileQuestion& Question, std::string& FileName) override;
    bool ChooseSaveFile(const TFileQuestion& Question, std::string& FileName) override;
    void GatherSeed(TRSAMedia& Media, std::string& Seed) override;
    void Repaint() override;
    void Busy(bool On) override;
    void CertificateAdded(const std::string& Id, const std::string& Name, bool Edit) override;
    void CertificateChanged(const std::string& Id) override;
    void CertificateRemoved(const std::string& Id) override;

private:
    TForm1& Form_;
};
