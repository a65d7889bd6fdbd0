#pragma once
// Helpers for tests of what a dead process or an open descriptor leaves.
#include <string>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// A process number that belonged to a process that has ended.
inline pid_t DeadPid()
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// Every byte of the file open at Fd, read from its start.
inline std::string ReadAll(int Fd)
{
    std::string bytes;
    char buffer[256];
    ssize_t n;
    off_t at = 0;
    while ((n = ::pread(Fd, buffer, sizeof buffer, at)) > 0) {
        bytes.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return bytes;
}

} // namespace testsupport
