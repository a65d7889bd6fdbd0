#pragma once
// Writes small ZIP archives for tests, with libzip: entries given as
// (name, bytes) pairs, deflated.
#include <zip.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// Writes Entries into a new archive at Path; false on any failure.
inline bool WriteZip(const std::string& Path, const ZipEntries& Entries)
{
    int error = 0;
    zip_t* archive = zip_open(Path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto& [name, bytes] : Entries) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            if (source)
                zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

inline std::string ReadWhole(const std::string& Path)
{
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteWhole(const std::string& Path, const std::string& Bytes)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Bytes;
}

} // namespace testsupport
