#pragma once
// The crypto kit beside the test executables, loaded once per test process
// as the program loads its own once per run.
#include "base/ProgramPaths.h"
#include "crypto/KitLibraries.h"

namespace testsupport {

inline KitLibraries& TestKit()
{
    static KitLibraries kit(ProgramPaths::ExecutableFolder());
    return kit;
}

} // namespace testsupport
