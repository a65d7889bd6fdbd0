// reinit <pid> <program> [<data folder>]
//
// Started by the client after a restore of its data. Waits until process
// <pid> has ended (or stayed a zombie) and, when the data folder is given,
// until no client holds that folder's lock any more, then replaces itself
// with <program>, run from the program's own folder, so that the restored
// files are read by a fresh start (which would otherwise find the folder
// still taken and end). Gives up after two minutes if either never happens.
#include "base/InstanceLock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <sys/types.h>
#include <unistd.h>

namespace {

// True while pid names a live process; a zombie has ended already.
bool Running(pid_t pid)
{
    if (kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (!stat)
        return kill(pid, 0) == 0 || errno == EPERM;
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size()) {
        const char state = line[close + 2];
        if (state == 'Z' || state == 'X')
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: reinit <pid> <program> [<data folder>]\n");
        return 2;
    }
    char* end = nullptr;
    const long pid = std::strtol(argv[1], &end, 10);
    if (!end || *end != '\0' || pid <= 0) {
        std::fprintf(stderr, "reinit: bad process id '%s'\n", argv[1]);
        return 2;
    }
    const std::string program = argv[2];

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (Running(pid_t(pid))) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "reinit: process %ld did not end\n", pid);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (argc == 4) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!InstanceLock::WaitUntilFree(argv[3], static_cast<int>(std::max<long long>(left.count(), 0)))) {
            std::fprintf(stderr, "reinit: the data folder %s stayed in use\n", argv[3]);
            return 1;
        }
    }

    const auto slash = program.rfind('/');
    if (slash != std::string::npos) {
        const std::string folder = program.substr(0, slash + 1);
        if (chdir(folder.c_str()) != 0)
            std::fprintf(stderr, "reinit: cannot enter %s: %s\n", folder.c_str(), std::strerror(errno));
    }
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    std::fprintf(stderr, "reinit: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}
