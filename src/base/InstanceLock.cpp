#include "base/InstanceLock.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

InstanceLock::~InstanceLock()
{
    Release();
}

InstanceLock::Result InstanceLock::Acquire(const std::string& Folder)
{
    Release();
    const std::string path = Folder + FileName;
    // Never through a link, never blocking on a planted pipe.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return Result::Unavailable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result::Unavailable;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::HeldByOther : Result::Unavailable;
    }
    Fd_ = fd;
    return Result::Acquired;
}

void InstanceLock::Release()
{
    if (Fd_ >= 0) {
        ::close(Fd_); // drops the lock; the file stays for the next client
        Fd_ = -1;
    }
}

bool InstanceLock::WaitUntilFree(const std::string& Folder, int TimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;) {
        InstanceLock probe;
        if (probe.Acquire(Folder) != Result::HeldByOther)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
