#pragma once
// The two questions every step that writes to the removable medium asks:
// insert a formatted medium (until the drive takes a file, or the user
// cancels), and empty it when it holds anything (asked once: entries that
// cannot be deleted, such as a folder, do not bring the question back).
#include "app/steps/TStepContext.h"

// True when a writable, empty-or-cleared medium is in the drive; false when
// the user cancelled either question.
bool PrepareEmptyMedium(const TStepContext& Context);
// Asks for the medium with Text until the drive answers to the probe;
// false when the user cancelled.
bool AskForMedium(const TStepContext& Context, const char* Text);
