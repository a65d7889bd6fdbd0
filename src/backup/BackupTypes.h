#pragma once
// The settings of the backup archive that callers store by their ordinal.
#include <cstdint>

enum TBackupMode { bmAll = 0, bmIncremental = 1 };
enum TRestoreMode { rmAll = 0, rmNoOverwrite = 1, rmNewer = 2, rmExisting = 3, rmExistingNewer = 4 };
// The ordinal is what callers store; clFastest comes first on purpose.
enum TCompressionLevel { clFastest = 0, clNone = 1, clDefault = 2, clMax = 3 };
using TPercentage = std::uint8_t;
