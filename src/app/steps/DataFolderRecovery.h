#pragma once
// What the client does to its data folder at start, once it holds it and
// before it loads anything: it finishes a restore that a crash cut short
// between its first rename and its last (base/ReplaceJournal), then removes
// what saves and steps cut short left beside the data (stale temporaries,
// leftover key files), their bytes overwritten first.
#include <string>

// 0, or the errno value of a restore that could not be finished: nothing is
// removed then, and the folder must not be opened (it may mix old and new
// data files); the next start tries again.
int RecoverDataFolder(const std::string& DataDir);
