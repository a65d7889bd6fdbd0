#pragma once
// The one way the program replaces a file, so that a crash at any moment
// leaves either the old or the new content under the name, never a mix:
// the bytes go to a new file beside the target (created exclusively, under an
// unpredictable name, never through a link), which is flushed, renamed over
// the target, and then the folder is flushed.
//
// No exception leaves this code (the kit compiles it in): every operation
// returns 0 or an errno value.
//
// Every creation, write, flush, rename, link and removal goes through the
// FileSystem given (the real disk unless a test gives its own).
#include "base/FileSystem.h"

#include <cstddef>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace SafeReplace {

struct Options {
    // Mode of a target that did not exist yet.
    mode_t NewFileMode = 0600;
    // An existing target keeps its mode, less these bits: data files holding
    // keys never become readable by others, however they were found.
    mode_t RemoveBits = 0;
    // Overwrites the replaced version's bytes before its blocks are freed
    // (key material): a hard link keeps the old version reachable while the
    // new one is renamed in; it is then overwritten and removed, unless
    // another name still holds it (someone's own file, only renamed over).
    // A link left by a crash is wiped by RemoveStaleTemporaries.
    bool WipeOldVersion = false;
    // Starts the disk on each piece as soon as it is written, for a large
    // file streamed in pieces: its final flush then waits for little more
    // than the last piece, instead of for the whole file at once.
    bool StartWritingEarly = false;
    // Commit renames without flushing the folder: the caller replaces many
    // files in one folder and flushes it once after the last rename. Until
    // then a crash may lose a rename, never the bytes of either version.
    bool FolderFlushedByCaller = false;
    // A symbolic link as target is itself replaced by the new file, never
    // followed: for a file written under a name that a medium, which is
    // anyone's, may hold (the link would send the bytes, keys among them,
    // over whatever file it points at).
    bool ReplaceLink = false;
    // The size the new file will have, when known from the start: a large
    // file's blocks are then set aside at once, before its bytes arrive,
    // rather than found piece by piece while it is flushed, which the flush
    // waits for. The file holds what is written, no more; blocks set aside
    // beyond that stay with it until it is replaced, so give the exact size.
    std::size_t ExpectedSize = 0;
};

// A symbolic link as target stays a link: the file it points at is the one
// replaced. Any other path is returned as it is.
std::string FollowLink(const std::string& Path);

// Creates a new, empty file beside Target under a fresh TemporaryName
// (exclusively, never through a link) with CreateMode, less the umask.
// Returns its descriptor (Disk closes it), or -1 with errno set; Path
// receives its name.
int CreateTemporaryBeside(const std::string& Target, mode_t CreateMode, std::string& Path,
                          FileSystem& Disk = FileSystem::Real());

// Writes a replacement in pieces (a restore streams its output).
class Writer {
public:
    explicit Writer(FileSystem& Disk = FileSystem::Real()) : Disk_(Disk) {}
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    virtual ~Writer(); // an uncommitted replacement is removed

    // Creates the new file beside Target (a symbolic link as Target is
    // followed, the file it points at replaced, unless ReplaceLink).
    int Begin(const std::string& Target, const Options& Options = {});
    int Write(const void* Data, std::size_t Size);
    // Flushes the new file and lets go of it: it waits, complete, under its
    // temporary name, holding no descriptor, for Commit or Abort. A restore
    // that puts many files in place together keeps them this way until the
    // whole archive has been read. On failure the new file is removed.
    int Finish();
    // Flushes (unless Finish did), renames over the target, flushes the
    // folder (see FolderFlushedByCaller). A folder that cannot be flushed
    // is an error (its errno value) although the new file stands under the
    // name: after a power cut the name may hold the old version again, which
    // then keeps its bytes (not wiped, whatever WipeOldVersion says).
    int Commit();
    // Removes the new file; the target stays as it was.
    void Abort();
    // Lets go of the finished new file (see Finish) without removing it,
    // for a caller that renames it into place itself (StagedRestore, which
    // must keep it until its journal says otherwise).
    void Release() { TempPath_.clear(); }

    // The path being replaced (after following a link), once begun.
    const std::string& Target() const { return Target_; }
    // What Begin found under that path; null when nothing was there.
    const struct stat* Existing() const { return TargetExisted_ ? &Existing_ : nullptr; }
    // The new file's name until it is committed or removed.
    const std::string& Temporary() const { return TempPath_; }

protected:
    // Seam for tests: like fchmod(2).
    virtual int ChangeMode(int Fd, mode_t Mode);

private:
    int WriteAll(const char* Bytes, std::size_t Size);
    void StartWriting(off_t From, off_t Length);

    FileSystem& Disk_;
    int Fd_ = -1;
    std::string Target_;
    std::string TempPath_;
    Options Options_;
    bool TargetExisted_ = false;
    struct stat Existing_ {};
    mode_t Mode_ = 0600;
    off_t Written_ = 0; // bytes written to the new file so far
};

// Replaces Target with Size bytes at Data in one go.
int ReplaceFile(const std::string& Target, const void* Data, std::size_t Size, const Options& Options = {},
                FileSystem& Disk = FileSystem::Real());

// Puts the file From under the name To, also where a rename cannot: across
// file systems (EXDEV) and on file systems that cannot rename without
// replacing (EINVAL). There the bytes are copied to a new file beside To,
// flushed, read back and compared, and that file is renamed into place;
// From then remains for the caller to remove (a key file is wiped, not just
// unlinked). Replace false: an existing To is never replaced (EEXIST).
// Either way the folders are flushed, To's first: the file lasts under its
// new name before its old one may go (0, or the errno value of a flush).
class Mover {
public:
    explicit Mover(FileSystem& Disk = FileSystem::Real()) : Disk_(Disk) {}
    int Move(const std::string& From, const std::string& To, bool Replace);

private:
    int Copy(const std::string& From, const std::string& To, bool Replace);
    int Place(const std::string& Temporary, const std::string& To, bool Replace);
    int RenameNoReplace(const std::string& From, const std::string& To);

    FileSystem& Disk_;
};

int MoveFile(const std::string& From, const std::string& To, bool Replace, FileSystem& Disk = FileSystem::Real());

// Removes the name Path (a link is removed, never followed). A regular file
// that no other name holds is overwritten with zeros and flushed first: it
// may hold keys. A file that another name still holds is someone's own and
// keeps its bytes. Returns 0 or the errno value of the removal.
int WipeAndRemove(const std::string& Path, FileSystem& Disk = FileSystem::Real());

// Gives the file at Target a second name beside it (a hard link under a
// fresh "old" temporary name), so that its bytes outlive its replacement
// until that name is let go. Returns the name, or empty with errno set when
// no link can be made (a file system without hard links, EMLINK).
std::string HoldOldVersion(const std::string& Target, FileSystem& Disk = FileSystem::Real());

// The same, but where no link can be made the old version's bytes are
// copied to a new file under that name instead, and flushed: for a caller
// that must be able to put the old version back. Empty, errno set, when
// neither can be done (no room, a quota); nothing is left then.
std::string HoldOldVersionOrCopy(const std::string& Target, FileSystem& Disk = FileSystem::Real());

// A name for a temporary file of this process beside a file named Name in
// Folder (Folder with a trailing '/'): hidden, carrying the process number,
// unpredictable. Kind is "tmp" or "old".
std::string TemporaryName(const std::string& Folder, const std::string& Name, const char* Kind = "tmp");

// True when a file name has the form TemporaryName gives; Pid receives the
// writing process.
bool IsTemporaryName(const std::string& FileName, pid_t& Pid);

// Removes the temporaries left in Folder by processes that are gone (a crash
// in the middle of a save), overwriting their bytes first: they may hold
// keys. Links are removed, never followed. Returns how many were removed.
// While a replacement of many files that a crash cut short still stands in
// the folder (base/ReplaceJournal: not finished, nor rolled back), every
// temporary stays: it may be the only copy of a file.
int RemoveStaleTemporaries(const std::string& Folder);

// Overwrites the regular file open at Fd with zeros and flushes it.
int OverwriteWithZeros(int Fd, FileSystem& Disk = FileSystem::Real());

// Flushes a folder's entries (a rename is durable only then). 0, or the
// errno value of the open or the flush; a file system that cannot flush a
// folder at all (EINVAL, EOPNOTSUPP, ENOSYS) gives 0: its names last as its
// own rules have it.
int SyncFolder(const std::string& Folder, FileSystem& Disk = FileSystem::Real());

// "/a/b/c" -> "/a/b/"; "c" -> "./".
std::string FolderOf(const std::string& Path);

} // namespace SafeReplace
