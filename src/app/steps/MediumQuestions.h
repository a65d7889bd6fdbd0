#pragma once
// The two questions every step that writes to the removable medium asks:
// insert a formatted medium (until the drive takes a file, or the user
// cancels), and empty it when it holds anything (asked once, naming the
// folder and how many files go: entries that cannot be deleted, such as a
// folder, do not bring the question back). A drive folder that must never
// be emptied (DriveAGuard) stops the step with the reason, before anything
// is asked or deleted.
#include "app/steps/TStepContext.h"

// True when a writable, empty-or-cleared medium is in the drive; false when
// the user cancelled either question or the folder may not be the drive.
bool PrepareEmptyMedium(const TStepContext& Context);
// Asks for the medium with Text until the drive answers to the probe;
// false when the user cancelled or the folder may not be the drive.
bool AskForMedium(const TStepContext& Context, const char* Text);
