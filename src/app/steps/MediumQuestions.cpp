#include "app/steps/MediumQuestions.h"

#include "app/steps/DriveOperations.h"
#include "app/steps/StorageOperations.h"
#include "base/DriveAGuard.h"
#include "base/FormatText.h"
#include "base/Texts.h"

namespace {

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

} // namespace

bool AskForMedium(const TStepContext& C, const char* Text)
{
    if (!DriveMayBeUsed(C))
        return false;
    do {
        if (C.Ask.InsertMedium(Text, C.Paths.DriveA()) != mrOk)
            return false;
        C.Ask.Repaint();
    } while (!IsDriveWritable(C.Paths.DriveA()));
    // Asked again: the user may have chosen another folder meanwhile.
    return DriveMayBeUsed(C);
}

bool PrepareEmptyMedium(const TStepContext& C)
{
    if (!AskForMedium(C, Texts::InsertFormattedDisk))
        return false;
    const std::string drive = C.Paths.DriveA();
    if (DriveHasFiles(drive)) {
        const std::string question = std::string(Texts::ClearDiskQuestion) + "\n"
                                     + FormatText(Texts::ClearDiskFolder, {drive, std::to_string(FilesToClear(drive))});
        if (C.Ask.Confirm(question, TStepButtons::OKCancelKeep) != mrOk)
            return false;
        ClearDrive(drive);
    }
    return true;
}
