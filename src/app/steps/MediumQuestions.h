#pragma once
// The questions every step that writes to the removable medium asks: insert
// a formatted medium (naming the folder that is drive A; asked until the
// drive takes a file, or the user cancels), and, right before the step
// writes, whether the client's own files on it may go (naming them, the
// first few by name; what is not the client's, and a key file that holds a
// signed certificate, stays and is named too). A drive folder that must
// never be emptied (DriveAGuard) stops the step with the reason, before
// anything is asked or deleted. Enter answers Cancel on both.
#include "app/steps/TStepContext.h"

#include <string>
#include <vector>

// Asks for the medium with Text until the drive answers to the probe;
// false when the user cancelled or the folder may not be the drive.
bool AskForMedium(const TStepContext& Context, const char* Text);

// Right before a step writes to the drive (after the target was chosen):
// removes the client's files from it once the user agrees. False when the
// user refused or the folder may not be the drive; nothing is deleted then.
bool ClearMediumBeforeWriting(const TStepContext& Context);

// AskForMedium with the formatted-medium question, then
// ClearMediumBeforeWriting: for a step whose target is the drive itself.
bool PrepareEmptyMedium(const TStepContext& Context);

// "a, b, c e mais 4": the first few names, then how many more; control
// characters in a name are shown as '?'.
std::string NameSomeFiles(const std::vector<std::string>& Names);

// The question asked before clearing, for the folder Drive and a survey.
struct MediumSurvey;
std::string ClearMediumQuestion(const std::string& Drive, const MediumSurvey& Survey);
