#pragma once
// MS-DOS date and time stamps of the archive (local time, two-second
// resolution, date in the high 16 bits) and the files' modification times.
#include <cstdint>
#include <string>

namespace DosTime {

std::int32_t FromTime(std::int64_t UnixSeconds);
std::int64_t ToTime(std::int32_t Dos); // -1 when it names no valid time
// The stamp of a regular file, or -1 when there is none.
std::int32_t FileStamp(const std::string& Path);
bool SetFileStamp(const std::string& Path, std::int32_t Dos);

} // namespace DosTime
