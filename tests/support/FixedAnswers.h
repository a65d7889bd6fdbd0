#pragma once
// Answers a certificate step without a user, the same way every time: every
// message question agreed to (OK, or Yes where the buttons are Yes and No) or
// cancelled, every password question with Password, the seed with Seed.
// Show keeps the last message: why a step stopped. For benchmarks and fuzz
// targets, where nobody answers and the answer is not what is tested.
#include "app/steps/TStepQuestions.h"

#include <memory>
#include <string>
#include <utility>

namespace testsupport {

class FixedAnswers : public TStepQuestions {
public:
    enum class Reply { Agree, Cancel };

    FixedAnswers(Reply Answer, std::string Password, std::string Seed = {})
        : Answer_(Answer), Password_(std::move(Password)), Seed_(std::move(Seed))
    {
    }

    int Inform(const std::string&, TStepButtons Buttons) override { return AnswerFor(Buttons); }
    int Confirm(const std::string&, TStepButtons Buttons) override { return AnswerFor(Buttons); }
    int Warn(const std::string&, TStepButtons Buttons) override { return AnswerFor(Buttons); }
    void Show(const std::string& Text) override { Last = Text; }
    std::unique_ptr<TPasswordAnswer> AskPassword(KeyFilePwd::TPwdMode, const std::string&) override
    {
        struct Given : TPasswordAnswer {
            explicit Given(std::string P) : Password(std::move(P)) {}
            int Result() const override { return mrOk; }
            void GetPassword(std::string& P) const override { P = Password; }
            void GetNewPassword(std::string& P) const override { P = Password; }
            std::string Password;
        };
        return std::make_unique<Given>(Password_);
    }
    bool ChooseOpenFile(const TFileQuestion&, std::string&) override { return false; }
    bool ChooseSaveFile(const TFileQuestion&, std::string&) override { return false; }
    void GatherSeed(TRSAMedia&, std::string& Seed) override { Seed = Seed_; }

    // The last message shown.
    std::string Last;

private:
    int AnswerFor(TStepButtons Buttons) const
    {
        if (Answer_ == Reply::Cancel)
            return mrCancel;
        return Buttons == TStepButtons::YesNo || Buttons == TStepButtons::YesNoKeep ? mrYes : mrOk;
    }

    Reply Answer_;
    std::string Password_;
    std::string Seed_;
};

} // namespace testsupport
