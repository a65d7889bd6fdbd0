#pragma once
// The calls through which the program changes its files: the safe replace
// (base/SafeReplace), the saves of data files (store/AtomicFileWriter,
// store/BatchFileWriter) and the restore (backup/StagedRestore,
// backup/RestoreCommitter, base/ReplaceJournal) create, write, flush,
// rename, link and remove through one of these, given to them explicitly.
// The base class is the real disk; a test's disk can fail a call, or keep
// only what a power cut would leave (tests/support/PowerCutDisk.h).
//
// Each call is its system call's twin: the same result, errno set on
// failure. Reads, looks at names (stat, access) and mode changes do not
// come this way: they change no byte that a power cut could lose.
#include <cstddef>
#include <string>
#include <sys/types.h>

class FileSystem {
public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;
    virtual ~FileSystem();

    // open(2): creates a file (O_CREAT) or opens one, a folder among them.
    virtual int Open(const std::string& Path, int Flags, mode_t Mode = 0);
    // write(2) and pwrite(2).
    virtual ssize_t Write(int Fd, const void* Data, std::size_t Size);
    virtual ssize_t WriteAt(int Fd, const void* Data, std::size_t Size, off_t Offset);
    // fsync(2), of a file (its bytes last) or of a folder (the names in it
    // last: a new name, a rename, a link, a removal).
    virtual int Sync(int Fd);
    // close(2), of what Open gave.
    virtual int Close(int Fd);
    // rename(2); renameat2(2) with RENAME_NOREPLACE; link(2); unlink(2).
    virtual int Rename(const std::string& From, const std::string& To);
    virtual int RenameNoReplace(const std::string& From, const std::string& To);
    virtual int Link(const std::string& From, const std::string& To);
    virtual int Unlink(const std::string& Path);

    // The disk itself.
    static FileSystem& Real();
};
