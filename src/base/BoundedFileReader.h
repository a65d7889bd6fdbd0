#pragma once
// The one way the program reads a whole file that someone else may have put
// under the name: the open does not wait (a planted pipe would hold it for
// ever), only a regular file is read (a link to a device never ends), the size
// is bounded before and while reading (a file that grows under the reader
// stops at the bound), and an interrupted read is retried.
//
// No exception leaves this code but a failed allocation (the kit calls it).
#include "base/FileIdentity.h"

#include <cstddef>
#include <memory>
#include <string>

namespace BoundedFileReader {

enum class Status {
    Read,       // the whole file is in the buffer
    Missing,    // the open failed with ENOENT, ENOTDIR or ENAMETOOLONG
    OpenFailed, // any other failure to open
    NotRegular, // a folder, a pipe, a device
    TooLarge,   // more than the bound, when opened or while read
    ReadFailed, // asking the open file's type, or a read, failed
};

struct Result {
    Status Outcome = Status::ReadFailed;
    int Error = 0; // errno of the failed call, 0 when none failed
    // The file as it was opened, before any byte was read: a later identity
    // that matches it means the bytes read are still the file's.
    FileIdentity Identity;
    bool Ok() const { return Outcome == Status::Read; }
};

// Reads the file at Path, of at most MaxSize bytes (less than SIZE_MAX), into
// Buffer (its size is Size; at least one byte of room stays free after it,
// since the end is seen by a read that returns nothing). On failure Buffer is
// empty.
Result Read(const std::string& Path, std::size_t MaxSize, std::unique_ptr<char[]>& Buffer, std::size_t& Size);

// The same into a string; on failure Content is left empty.
Result Read(const std::string& Path, std::size_t MaxSize, std::string& Content);

} // namespace BoundedFileReader
