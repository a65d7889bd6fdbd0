#pragma once
// The journal of many files replaced together, all or nothing (the restore
// of the client's data files, backup/StagedRestore), so that a crash or a
// power cut between the first rename and the last leaves no mix of old and
// new files behind it.
//
// Before the first rename every new file is complete and flushed under its
// temporary name, and every version it replaces has a second name (base/
// SafeReplace: HoldOldVersionOrCopy); then the journal is written and
// flushed, which names them all. A journal found at start therefore means
// "forward": every new file still under its temporary name is renamed over
// its target and the old versions are let go. Only a replacement that fails
// part way (a rename refused) turns its journal to "back" before putting
// the old versions back, and a journal found in that state is finished the
// same way. Either way the journal goes last.
//
// Format (text, one item per line, '\n' ends each): "quorvex replace
// journal 1", "forward" or "back", "wipe" or "keep" (what becomes of the
// old versions' bytes), then per file its new file's name, its target's and
// its old version's (empty when nothing stood under the target's name),
// separated by tabs, and "end <count>" last. A name in the journal's folder
// is written as the name alone, anything else as a full path; '%', tabs,
// line ends and other control bytes are written as %XX.
#include "base/FileSystem.h"

#include <string>
#include <vector>

namespace ReplaceJournal {

struct Entry {
    std::string Staged; // the new file, complete and flushed
    std::string Target; // the name it replaces
    std::string Old;    // the replaced version's second name; empty when there was none
};

enum class Direction { Forward, Back };

// Where the journal of Folder (with a trailing '/') is kept.
std::string PathIn(const std::string& Folder);

// Writes the journal into Folder through the safe replace, and flushes it
// (file and folder) before it returns: 0 or an errno value.
int Write(const std::string& Folder, const std::vector<Entry>& Entries, Direction Way, bool WipeOld, FileSystem& Disk);

// Removes the journal of Folder and flushes the folder: 0 or an errno value.
int Remove(const std::string& Folder, FileSystem& Disk);

// Finishes a replacement that a crash cut short in Folder, as its journal
// says, and removes the journal: forward, every new file still there is
// renamed over its target, the folders flushed, the old versions let go
// (wiped first when asked); back, every old version is put back under its
// name, a target that was new is removed, the new files wiped and removed.
// A journal that cannot be read whole is removed (nothing was renamed
// before it was written whole). Returns 0 when there was no journal or all
// went well; else the errno value of the step that failed, and the journal
// stays for the next try (RemoveStaleTemporaries keeps the temporaries it
// needs while it stands).
int Recover(const std::string& Folder, FileSystem& Disk = FileSystem::Real());

} // namespace ReplaceJournal
