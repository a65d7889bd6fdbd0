#include "app/steps/MediumQuestions.h"

#include "app/steps/DriveOperations.h"
#include "base/Texts.h"

bool AskForMedium(const TStepContext& C, const char* Text)
{
    do {
        if (C.Ask.InsertMedium(Text, C.Paths.DriveA()) != StepResult::OK)
            return false;
        C.Ask.Repaint();
    } while (!IsDriveWritable(C.Paths.DriveA()));
    return true;
}

bool PrepareEmptyMedium(const TStepContext& C)
{
    if (!AskForMedium(C, Texts::InsertFormattedDisk))
        return false;
    if (DriveHasFiles(C.Paths.DriveA())) {
        if (C.Ask.Confirm(Texts::ClearDiskQuestion, TStepButtons::OKCancel) != StepResult::OK)
            return false;
        ClearDrive(C.Paths.DriveA());
    }
    return true;
}
