#pragma once
// The steps empty the folder that stands for drive A before they write a
// medium, so that folder may never be one whose files the user or the
// program keeps: the data folder, the program folder, the user's home, a
// system folder, or any folder that holds one of them. Folders are compared
// by identity (device and inode of the folder and of each folder above it),
// not by spelling: a link, a bind mount or another letter case of the data
// folder is the data folder.
#include <string>

class ProgramPaths;

namespace DriveAGuard {

// Why Folder may not stand for drive A, in the user's words (the texts
// table, the folder named); empty when it may. A folder that does not exist
// yet is judged by the path it would have.
std::string Refusal(const ProgramPaths& Paths, const std::string& Folder);

// The same for the folder open at FolderFd (any descriptor of a folder, an
// O_PATH one included), named Folder in the text: a step judges the very
// folder it then empties, whatever its name points at meanwhile.
std::string Refusal(const ProgramPaths& Paths, const std::string& Folder, int FolderFd);

} // namespace DriveAGuard
