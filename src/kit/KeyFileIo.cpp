#include "kit/KeyFileIo.h"

#include "base/BoundedFileReader.h"
#include "base/SafeReplace.h"
#include "kit/HlKit.h"

#include <cerrno>
#include <vector>

namespace kit {

bool WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    // A key file holds the private key, encrypted: owner-only, and the version
    // it replaces (a password change, a stored certificate) is overwritten
    // before its blocks are freed.
    SafeReplace::Options options;
    options.NewFileMode = 0600;
    options.RemoveBits = 0077;
    options.WipeOldVersion = true;
    return SafeReplace::ReplaceFile(path, data, size, options) == 0;
}

std::int32_t ReadWholeFile(const std::string& path, std::size_t maxSize, std::string& out, bool& missing)
{
    const BoundedFileReader::Result read = BoundedFileReader::Read(path, maxSize, out);
    missing = read.Error == ENOENT;
    switch (read.Outcome) {
    case BoundedFileReader::Status::Read: return HL_OK;
    case BoundedFileReader::Status::Missing: return HL_E_FILE_OPEN;
    case BoundedFileReader::Status::OpenFailed: return HL_E_FILE_OPEN;
    case BoundedFileReader::Status::NotRegular:
    case BoundedFileReader::Status::TooLarge: return HL_E_FILE_FORMAT;
    case BoundedFileReader::Status::ReadFailed: break;
    }
    return HL_E_FILE_READ;
}

} // namespace kit
