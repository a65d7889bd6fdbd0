#pragma once
// The removable medium ("drive A", a folder here) as the steps see it.
// Dir is a folder path, with or without its trailing '/'.
#include <string>

// Creates and deletes a probe file named with a new GUID and "~tf". False,
// never an exception and never a message, when the folder is missing, not a
// folder, or refuses the file.
bool IsDriveWritable(const std::string& Dir);

// True when the folder holds any entry at all ("." and ".." do not count),
// a sub-folder included.
bool DriveHasFiles(const std::string& Dir);

// How many entries ClearDrive would delete: every one but the sub-folders.
int FilesToClear(const std::string& Dir);

// Deletes every entry of the folder that can be deleted, without recursion
// (a link is removed, never followed); sub-folders and whatever resists stay.
void ClearDrive(const std::string& Dir);

// Forces a written file and its folder to disk; false when either fails.
bool FlushFileAndFolder(const std::string& FileName);
