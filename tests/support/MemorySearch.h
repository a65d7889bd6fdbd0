#pragma once
// Searches every writable mapping of this process for secrets that must not
// linger there. Needles are held masked, so that the searching process holds
// no copy of them; bytes are unmasked one at a time, in registers, to
// compare.
#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

constexpr unsigned char kMemoryMask = 0xA5;

struct MemoryNeedle {
    std::string name;                  // what a find is reported as
    std::vector<unsigned char> masked; // at least 2 bytes, each ^ kMemoryMask
};

// The names of the needles found in the writable mappings, each once.
inline std::set<std::string> FoundInMemory(const std::vector<MemoryNeedle>& needles)
{
    // Candidates by their first two bytes: one pass over memory for all.
    std::vector<std::vector<std::size_t>> byStart(1 << 16);
    std::size_t longest = 2;
    for (std::size_t i = 0; i < needles.size(); ++i) {
        const unsigned a = needles[i].masked[0] ^ kMemoryMask;
        const unsigned b = needles[i].masked[1] ^ kMemoryMask;
        byStart[(a << 8) | b].push_back(i);
        longest = std::max(longest, needles[i].masked.size());
    }
    std::set<std::string> found;
    std::ifstream maps("/proc/self/maps");
    const int mem = ::open("/proc/self/mem", O_RDONLY);
    if (mem < 0) {
        found.insert("(memory unreadable)");
        return found;
    }
    std::vector<unsigned char> buffer(1 << 20);
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, perms;
        fields >> range >> perms;
        if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w' || line.find("[vvar]") != std::string::npos
            || line.find("[vsyscall]") != std::string::npos)
            continue;
        const auto dash = range.find('-');
        const unsigned long start = std::stoul(range.substr(0, dash), nullptr, 16);
        const unsigned long end = std::stoul(range.substr(dash + 1), nullptr, 16);
        // Reserved address space (a sanitizer's shadow) is no heap of ours.
        if (end - start > (1ul << 32))
            continue;
        // Read in overlapping pieces so that no occurrence is cut in two.
        for (unsigned long at = start; at < end;) {
            const std::size_t want = std::min<unsigned long>(buffer.size(), end - at);
            const ssize_t got = ::pread(mem, buffer.data(), want, static_cast<off_t>(at));
            if (got <= 0)
                break;
            const auto size = static_cast<std::size_t>(got);
            for (std::size_t k = 0; k + 2 <= size; ++k) {
                const auto& candidates = byStart[(unsigned(buffer[k]) << 8) | buffer[k + 1]];
                for (const std::size_t i : candidates) {
                    const std::size_t length = needles[i].masked.size();
                    if (k + length > size)
                        continue;
                    std::size_t j = 2;
                    while (j < length
                           && buffer[k + j] == static_cast<unsigned char>(needles[i].masked[j] ^ kMemoryMask))
                        ++j;
                    if (j == length)
                        found.insert(needles[i].name);
                }
            }
            if (size < want)
                break;
            at += size > longest ? size - longest + 1 : size;
        }
    }
    ::close(mem);
    // The buffer held copies of what was searched.
    std::fill(buffer.begin(), buffer.end(), 0);
    return found;
}

} // namespace testsupport
