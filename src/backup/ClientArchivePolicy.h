#pragma once
// What a backup of the client takes and how a restore of the client's data
// is held in check, for the backup window and the archive tool alike: the
// data files (ENTITY.DAT and every STORAGE.<n>.DAT), volumes that fit on a
// diskette, and a restore into a folder that holds the client that replaces
// only its data files, all of them or none.
#include <cstdint>
#include <string>
#include <vector>

class TBackupFile;

namespace ClientArchivePolicy {

// The most a volume on a diskette holds.
inline constexpr std::int32_t DisketteVolumeSize = 1400000;

// The files a backup of the client takes from DataDir (given with its '/'):
// ENTITY.DAT when it is there, then every STORAGE.*.DAT, by name, any letter
// case; hidden files are not found, as the program's searches never find
// them.
std::vector<std::string> BackupFiles(const std::string& DataDir);

// The volume size of a backup to Destination: a diskette's for a path typed
// as "A..." (ShownPath, as the program always knew it) or any path on the
// folder that stands for drive A; else one volume of any size (0).
std::int32_t VolumeSize(const std::string& ShownPath, const std::string& Destination, const std::string& DriveA);

// The archive set for a backup of the client: every file, fastest
// compression, the file-ID list stored, Title and MaxSize as given.
void SetUpBackup(TBackupFile& Archive, const std::string& Title, std::int32_t MaxSize);

// The archive set for a restore into Folder (given with its '/') that
// replaces only the client's data files there: every other entry is left
// out and its archived name added to Skipped. The data files are one whole:
// a registry from the archive beside storage files of this folder would
// pair entities with keys that are not theirs, so nothing is put in place
// unless the whole archive was read.
void RestoreOnlyDataFiles(TBackupFile& Archive, const std::string& Folder, std::vector<std::string>& Skipped);

} // namespace ClientArchivePolicy
