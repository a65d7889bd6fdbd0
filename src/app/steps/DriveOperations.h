#pragma once
// The removable medium ("drive A", a folder here) as the steps see it.
// Dir is a folder path, with or without its trailing '/'.
//
// Clearing the medium removes only files of the kinds the client writes to
// one (a request {GUID}.TXT, a response *.CNS, a key file *.PRI, an export
// *.CRT, an archive *.BKP and its volumes *.002..., and what a cut-short
// write of the client left), never a key file that holds a signed
// certificate (it may be the only copy of that key) and never anything else:
// the medium may be a stick that also holds the user's own files.
#include <string>
#include <vector>

// Creates and deletes a probe file named with a new GUID and "~tf". False,
// never an exception and never a message, when the folder is missing, not a
// folder, or refuses the file.
bool IsDriveWritable(const std::string& Dir);

// True when the folder holds any entry at all ("." and ".." do not count),
// a sub-folder included.
bool DriveHasFiles(const std::string& Dir);

// What clearing the medium would do, names in the folder's order.
struct MediumSurvey {
    // Files of the client's kinds: these go.
    std::vector<std::string> ToRemove;
    // Key files that hold a signed certificate: they stay.
    std::vector<std::string> SignedKeys;
    // Every other entry but the sub-folders (the user's files, links...):
    // they stay.
    std::vector<std::string> Others;
};

// The medium's folder, opened once (the folder a link in its path leads to
// at that moment; the folder itself never as a link), so that what is
// surveyed, asked about and cleared is one folder, even if a link is
// swapped in under its name meanwhile.
class MediumFolder {
public:
    explicit MediumFolder(const std::string& Dir);
    ~MediumFolder();
    MediumFolder(const MediumFolder&) = delete;
    MediumFolder& operator=(const MediumFolder&) = delete;

    bool IsOpen() const { return Fd_ >= 0; }
    int Fd() const { return Fd_; }

    MediumSurvey Survey() const;
    // Removes those of Names (as Survey gave them) that are, at their turn,
    // still files of the client's kinds, relative to the open folder; a key
    // file is overwritten first. Returns how many were removed.
    int Clear(const std::vector<std::string>& Names) const;

private:
    int Fd_ = -1;
};

// How many files ClearDrive would delete.
int FilesToClear(const std::string& Dir);

// Deletes the files of the client's kinds (MediumFolder::Clear over the
// survey); everything else stays.
void ClearDrive(const std::string& Dir);

// Whether the key file bytes hold a signed certificate: the kit's key file
// with its certificate slot filled (the flag set, or any byte of the slot).
// Read without the password: the flag and the slot are outside the
// encrypted part.
bool KeyFileHoldsCertificate(const std::string& Bytes);

// "/a/b/c.PRI" gives "c.PRI" and "/a/b" (the folder without its last '/';
// "/" for the root).
std::string FileNameOf(const std::string& Path);
std::string FolderNameOf(const std::string& Path);

// Forces a written file and its folder to disk; false when either fails.
bool FlushFileAndFolder(const std::string& FileName);
