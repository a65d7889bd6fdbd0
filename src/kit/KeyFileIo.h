#pragma once
// Key files are replaced through the base's safe replace (linked into the
// kit: no exception crosses its C functions).
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit {

// True when the new content is in place. On false the old file (if any) is
// untouched and no temporary file is left behind.
bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

// Reads a whole file of at most maxSize bytes. Returns HL_OK, HL_E_FILE_OPEN
// (missing or not openable), HL_E_FILE_READ, or HL_E_FILE_FORMAT (larger than
// maxSize or not a regular file).
std::int32_t ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out, bool& missing);

} // namespace kit
