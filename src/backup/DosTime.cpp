#include "backup/DosTime.h"

#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

namespace DosTime {

std::int32_t FromTime(std::int64_t UnixSeconds)
{
    const std::time_t t = static_cast<std::time_t>(UnixSeconds);
    std::tm lt{};
    if (!localtime_r(&t, &lt) || lt.tm_year < 80)
        return (1 << 21) | (1 << 16); // 1980-01-01 00:00, the earliest a stamp can say
    if (lt.tm_year > 207)
        return static_cast<std::int32_t>((127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u);
    const std::uint32_t date = (static_cast<std::uint32_t>(lt.tm_year - 80) << 9)
                               | (static_cast<std::uint32_t>(lt.tm_mon + 1) << 5)
                               | static_cast<std::uint32_t>(lt.tm_mday);
    const std::uint32_t time = (static_cast<std::uint32_t>(lt.tm_hour) << 11)
                               | (static_cast<std::uint32_t>(lt.tm_min) << 5)
                               | static_cast<std::uint32_t>(lt.tm_sec / 2);
    return static_cast<std::int32_t>((date << 16) | time);
}

std::int64_t ToTime(std::int32_t Dos)
{
    const auto u = static_cast<std::uint32_t>(Dos);
    std::tm lt{};
    lt.tm_year = static_cast<int>((u >> 25) & 0x7F) + 80;
    lt.tm_mon = static_cast<int>((u >> 21) & 0x0F) - 1;
    lt.tm_mday = static_cast<int>((u >> 16) & 0x1F);
    lt.tm_hour = static_cast<int>((u >> 11) & 0x1F);
    lt.tm_min = static_cast<int>((u >> 5) & 0x3F);
    lt.tm_sec = static_cast<int>(u & 0x1F) * 2;
    lt.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&lt));
}

std::int32_t FileStamp(const std::string& Path)
{
    struct stat st {};
    if (::stat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return FromTime(st.st_mtime);
}

bool SetFileStamp(const std::string& Path, std::int32_t Dos)
{
    const std::int64_t t = ToTime(Dos);
    if (t == -1)
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(t);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, Path.c_str(), times, 0) == 0;
}

} // namespace DosTime
