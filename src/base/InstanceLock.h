#pragma once
// One client per data folder. Two clients on one folder would each save what
// they hold in memory over the other's files; the lock file in the folder is
// held (flock) for as long as a client runs. The kernel drops the lock when
// the process ends, however it ends, so a crashed client leaves nothing stuck;
// the descriptor is closed on exec, so programs the client starts (reinit)
// never hold it.
#include <string>

class InstanceLock {
public:
    // Hidden, like every file of the program's own that is not data.
    static constexpr const char* FileName = ".quorvex.lock";

    enum class Result {
        Acquired,    // this object holds the folder now
        HeldByOther, // another client runs on the folder
        Unavailable, // no lock file can be made there (a read-only folder)
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Folder with a trailing '/'. Never waits.
    Result Acquire(const std::string& Folder);
    bool Held() const { return Fd_ >= 0; }
    void Release();

    // Waits until no process holds Folder's lock, at most TimeoutMs
    // milliseconds; true when it is free (or cannot be held at all).
    static bool WaitUntilFree(const std::string& Folder, int TimeoutMs);

private:
    int Fd_ = -1;
};
