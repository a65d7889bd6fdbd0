#include "app/steps/MediumQuestions.h"

#include "app/steps/DriveOperations.h"
#include "app/steps/StorageOperations.h"
#include "base/DriveAGuard.h"
#include "base/FormatText.h"
#include "base/Texts.h"

namespace {

// How many files a question names before it only counts the rest.
constexpr std::size_t NamedFiles = 5;

// A folder that must never be emptied stops the step before anything on it
// is touched, told to the user; true when the drive may be used.
bool DriveMayBeUsed(const TStepContext& C)
{
    const std::string refusal = DriveAGuard::Refusal(C.Paths, C.Paths.DriveA());
    if (refusal.empty())
        return true;
    C.Ask.Show(refusal + Texts::DriveAStop);
    return false;
}

std::string Shown(const std::string& Name)
{
    std::string shown = Name;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return shown;
}

} // namespace

std::string NameSomeFiles(const std::vector<std::string>& Names)
{
    std::string text;
    for (std::size_t i = 0; i < Names.size() && i < NamedFiles; ++i)
        text += (i ? ", " : "") + Shown(Names[i]);
    if (Names.size() > NamedFiles)
        text += " " + FormatText(Texts::ClearDiskMore, {std::to_string(Names.size() - NamedFiles)});
    return text;
}

std::string ClearMediumQuestion(const std::string& Drive, const MediumSurvey& Survey)
{
    const bool everything = Survey.Others.empty() && Survey.SignedKeys.empty();
    std::string question = std::string(everything ? Texts::ClearDiskQuestion : Texts::ClearDiskClientFilesQuestion)
                           + "\n" + FormatText(Texts::ClearDiskFolder, {Drive, std::to_string(Survey.ToRemove.size())})
                           + "\n" + FormatText(Texts::ClearDiskRemoved, {NameSomeFiles(Survey.ToRemove)});
    if (!Survey.SignedKeys.empty())
        question += "\n" + FormatText(Texts::ClearDiskSignedKept, {NameSomeFiles(Survey.SignedKeys)});
    if (!Survey.Others.empty())
        question += "\n" + FormatText(Texts::ClearDiskKept, {NameSomeFiles(Survey.Others)});
    return question;
}

bool AskForMedium(const TStepContext& C, const char* Text)
{
    if (!DriveMayBeUsed(C))
        return false;
    do {
        const std::string drive = C.Paths.DriveA();
        const std::string question = std::string(Text) + "\n" + FormatText(Texts::InsertDiskFolder, {drive});
        if (C.Ask.InsertMedium(question, drive) != mrOk)
            return false;
        C.Ask.Repaint();
    } while (!IsDriveWritable(C.Paths.DriveA()));
    // Asked again: the user may have chosen another folder meanwhile.
    return DriveMayBeUsed(C);
}

bool ClearMediumBeforeWriting(const TStepContext& C)
{
    const std::string drive = C.Paths.DriveA();
    // Opened once: the folder judged, surveyed and cleared is the same one,
    // whatever is put under its name during the question.
    const MediumFolder medium(drive);
    if (!medium.IsOpen())
        return true; // nothing there to clear; the write reports its own failure
    const std::string refusal = DriveAGuard::Refusal(C.Paths, drive, medium.Fd());
    if (!refusal.empty()) {
        C.Ask.Show(refusal + Texts::DriveAStop);
        return false;
    }
    const MediumSurvey survey = medium.Survey();
    if (survey.ToRemove.empty())
        return true;
    if (C.Ask.Confirm(ClearMediumQuestion(drive, survey), TStepButtons::OKCancelKeep) != mrOk)
        return false;
    medium.Clear(survey.ToRemove);
    return true;
}

bool PrepareEmptyMedium(const TStepContext& C)
{
    return AskForMedium(C, Texts::InsertFormattedDisk) && ClearMediumBeforeWriting(C);
}
