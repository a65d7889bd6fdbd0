#pragma once
// What a restore of the client's data does before it replaces anything:
// the question that names what will be replaced, and the safety archive
// that keeps the current data files (ENTITY.DAT and every STORAGE.<n>.DAT)
// in the program's own archive format, in the data folder, so that a wrong
// archive chosen by mistake can be undone by restoring that one. A restore
// makes the client start again; a small notice file carries the safety
// archive's path to that next start, which reads it once and removes it.
#include <ctime>
#include <string>
#include <vector>

namespace RestoreSafety {

// Hidden, like every file of the program's own that is not data: no backup
// takes it.
inline constexpr const char* NoticeFileName = ".quorvex.restauracao";

// What the client holds now, which a restore replaces.
struct CurrentData {
    int Entities = 0;
    int Certificates = 0;
};

// The question asked before a restore: how many entities and certificates
// the restore will replace, and that the current data are kept first.
std::string Question(int Entities, int Certificates);

// The client's data files in DataDir (given with its '/'), under the
// client's own spelling: ENTITY.DAT first, then the storage files by number.
std::vector<std::string> DataFiles(const std::string& DataDir);

// Writes the current data files into a new archive in DataDir named for
// Now ("dados-antes-da-restauracao-AAAA-MM-DD-HHMMSS.bkp", a number added
// when that name is taken), readable by the user alone and on the disk
// (flushed, its folder too) before the restore may replace anything.
// Returns its path; empty when it could not be written whole (nothing is
// left behind then), or when there is nothing to keep.
std::string KeepCurrentData(const std::string& DataDir, std::time_t Now);

// Leaves the archive's path for the next start; false when it could not.
bool LeaveNotice(const std::string& DataDir, const std::string& Archive);
// The path a restore left for this start, or empty; the notice is removed
// either way. A notice that names no archive of this folder is ignored.
std::string TakeNotice(const std::string& DataDir);

} // namespace RestoreSafety
