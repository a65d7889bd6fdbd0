#pragma once
// A disk that keeps only what was flushed, for power-cut tests. It does
// every call on the real disk, and beside that keeps what a power cut would
// leave of the folders it watches:
//   - a file's bytes as they were when it was last flushed (fsync), nothing
//     of what was written since; a file never flushed is empty;
//   - a folder's names (creations, renames, links, removals) as they were
//     when the folder was last flushed, or, as a journaling file system may
//     have committed them on its own, every change of names kept
//     (Names::AllKept): only the bytes then depend on the flushes.
// Every change (a creation, a write, a flush, a rename, a link, a removal)
// is a step; CutBefore stops the world before one of them: LeaveWhatLasts
// then puts on the real disk what the cut would have left.
//
// RunCut runs an operation in a child process on such a disk, cutting the
// power at a given step: the child leaves the folders as the cut would and
// ends, so that the process that wrote the temporaries is gone, as after a
// real power cut, and the parent "restarts" on what is left.
#include "base/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testsupport {

class PowerCutDisk : public FileSystem {
public:
    enum class Names {
        AsFlushed, // a folder's names as its last flush left them
        AllKept,   // every change of names kept, the bytes only as flushed
    };

    // Watches Folders (each ending in '/'): what they hold now counts as on
    // the disk, flushed.
    explicit PowerCutDisk(std::vector<std::string> Folders) : Folders_(std::move(Folders))
    {
        for (const std::string& folder : Folders_) {
            auto& names = Names_[folder];
            for (const auto& [name, st] : Listing(folder)) {
                const auto node = Nodes_.find({st.st_dev, st.st_ino});
                if (node != Nodes_.end()) {
                    names[name] = node->second;
                    continue;
                }
                const int id = NewNode(st);
                Durable_[static_cast<std::size_t>(id)] = ReadPath(folder + name);
                names[name] = id;
            }
        }
    }

    // The power goes before the Step-th change (the first is 1): the
    // process leaves the folders as How says and ends with Code, every
    // other call held. 0: never.
    void CutBefore(int Step, Names How, int Code)
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        CutAt_ = Step;
        How_ = How;
        Code_ = Code;
    }

    // The power goes now (the same, from outside a call).
    [[noreturn]] void CutNow(Names How, int Code)
    {
        Mutex_.lock(); // never let go: nothing runs on after the cut
        LeaveWhatLasts(How);
        ::_exit(Code);
    }

    // A file system without hard links (FAT): every link fails with EPERM.
    bool NoHardLinks = false;
    // The Nth rename (the first is 1) fails with EIO, nothing renamed; 0: none.
    int FailRename = 0;
    // A file system that cannot rename without replacing: every exclusive
    // rename fails with EINVAL.
    bool NoExclusiveRename = false;

    int Steps()
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        return Steps_;
    }

private:
    // Puts on the real disk what a power cut now would leave of the watched
    // folders; the caller holds the lock.
    void LeaveWhatLasts(Names How)
    {
        for (const std::string& folder : Folders_) {
            std::map<std::string, int> names;
            if (How == Names::AsFlushed) {
                names = Names_[folder];
            } else {
                for (const auto& [name, st] : Listing(folder))
                    names[name] = NodeOf(st);
            }
            for (const auto& entry : Listing(folder))
                ::unlink((folder + entry.first).c_str());
            std::map<int, std::string> first; // node -> its first name, made
            for (const auto& [name, node] : names) {
                const std::string path = folder + name;
                const auto made = first.find(node);
                if (made != first.end()) {
                    ::link(made->second.c_str(), path.c_str());
                    continue;
                }
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                if (fd < 0)
                    std::abort();
                const std::string& bytes = Durable_[static_cast<std::size_t>(node)];
                for (std::size_t done = 0; done < bytes.size();) {
                    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
                    if (n <= 0)
                        std::abort();
                    done += static_cast<std::size_t>(n);
                }
                ::close(fd);
                first[node] = path;
            }
        }
    }

public:
    int Open(const std::string& Path, int Flags, mode_t Mode = 0) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        const bool creates = (Flags & O_CREAT) != 0;
        if (creates)
            Step();
        struct stat before {};
        const bool existed = ::lstat(Path.c_str(), &before) == 0;
        const int fd = ::open(Path.c_str(), Flags, Mode);
        if (fd < 0)
            return fd;
        struct stat st {};
        ::fstat(fd, &st);
        Handle handle;
        if (S_ISDIR(st.st_mode))
            handle.Folder = Path.empty() || Path.back() == '/' ? Path : Path + "/";
        else
            handle.Node = creates && !existed ? NewNode(st) : NodeOf(st);
        Open_[fd] = handle;
        return fd;
    }

    ssize_t Write(int Fd, const void* Data, std::size_t Size) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        return ::write(Fd, Data, Size);
    }

    ssize_t WriteAt(int Fd, const void* Data, std::size_t Size, off_t Offset) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        return ::pwrite(Fd, Data, Size, Offset);
    }

    int Sync(int Fd) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        const int result = ::fsync(Fd);
        if (result != 0)
            return result;
        const auto handle = Open_.find(Fd);
        if (handle == Open_.end())
            return result;
        if (!handle->second.Folder.empty()) {
            const auto watched = Names_.find(handle->second.Folder);
            if (watched != Names_.end()) {
                watched->second.clear();
                for (const auto& [name, st] : Listing(handle->second.Folder))
                    watched->second[name] = NodeOf(st);
            }
        } else if (handle->second.Node >= 0) {
            Durable_[static_cast<std::size_t>(handle->second.Node)] = ReadPath("/proc/self/fd/" + std::to_string(Fd));
        }
        return result;
    }

    int Close(int Fd) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Open_.erase(Fd);
        return ::close(Fd);
    }

    int Rename(const std::string& From, const std::string& To) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        if (++Renames_ == FailRename) {
            errno = EIO;
            return -1;
        }
        return FileSystem::Rename(From, To);
    }

    int RenameNoReplace(const std::string& From, const std::string& To) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        if (++Renames_ == FailRename) {
            errno = EIO;
            return -1;
        }
        if (NoExclusiveRename) {
            errno = EINVAL;
            return -1;
        }
        return FileSystem::RenameNoReplace(From, To);
    }

    int Link(const std::string& From, const std::string& To) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        if (NoHardLinks) {
            errno = EPERM;
            return -1;
        }
        return FileSystem::Link(From, To);
    }

    int Unlink(const std::string& Path) override
    {
        std::lock_guard<std::mutex> lock(Mutex_);
        Step();
        return FileSystem::Unlink(Path);
    }

private:
    struct Handle {
        int Node = -1;      // a file's node
        std::string Folder; // a folder's path, with '/'
    };

    static std::vector<std::pair<std::string, struct stat>> Listing(const std::string& Folder)
    {
        std::vector<std::pair<std::string, struct stat>> files;
        DIR* dir = ::opendir(Folder.c_str());
        if (!dir)
            return files;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st {};
            if (::lstat((Folder + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
                files.emplace_back(entry->d_name, st);
        }
        ::closedir(dir);
        return files;
    }

    static std::string ReadPath(const std::string& Path)
    {
        std::string bytes;
        const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return bytes;
        char buffer[65536];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
        return bytes;
    }

    // A new file: nothing of it lasts until it is flushed.
    int NewNode(const struct stat& St)
    {
        Durable_.emplace_back();
        const int id = static_cast<int>(Durable_.size() - 1);
        Nodes_[{St.st_dev, St.st_ino}] = id;
        return id;
    }

    // A file met again; one never met (made behind this disk's back) has
    // nothing flushed either.
    int NodeOf(const struct stat& St)
    {
        const auto node = Nodes_.find({St.st_dev, St.st_ino});
        return node != Nodes_.end() ? node->second : NewNode(St);
    }

    // Called with the lock held, which the cut keeps.
    void Step()
    {
        if (++Steps_ == CutAt_) {
            LeaveWhatLasts(How_);
            ::_exit(Code_);
        }
    }

    std::vector<std::string> Folders_;
    std::mutex Mutex_;
    std::map<std::pair<dev_t, ino_t>, int> Nodes_;
    std::vector<std::string> Durable_;                        // per node
    std::map<std::string, std::map<std::string, int>> Names_; // per folder, as last flushed
    std::map<int, Handle> Open_;
    int Steps_ = 0;
    int Renames_ = 0;
    int CutAt_ = 0;
    Names How_ = Names::AsFlushed;
    int Code_ = 0;
};

// How a run ended.
enum class CutResult {
    Cut,   // the power went before the step asked for
    Ended, // the operation ended first; the power went right after
    Failed // the child died another way
};

// Runs Operation in a child process on a PowerCutDisk watching Folders, the
// power cut before its Step-th change; the child leaves the folders as the
// cut would (How) and ends. Before forking, the caller makes sure that no
// other thread of its own holds a lock the operation takes.
inline CutResult RunCut(const std::vector<std::string>& Folders, int Step, PowerCutDisk::Names How,
                        const std::function<void(PowerCutDisk&)>& Operation)
{
    constexpr int CutCode = 41, EndedCode = 42;
    const pid_t child = ::fork();
    if (child == 0) {
        PowerCutDisk disk(Folders);
        disk.CutBefore(Step, How, CutCode);
        try {
            Operation(disk);
        } catch (...) {
            // A failure the cut did not cause is the operation's own: what
            // it left is still what a cut right after would leave.
        }
        disk.CutNow(How, EndedCode);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return CutResult::Failed;
    if (WEXITSTATUS(status) == CutCode)
        return CutResult::Cut;
    if (WEXITSTATUS(status) == EndedCode)
        return CutResult::Ended;
    return CutResult::Failed;
}

} // namespace testsupport
