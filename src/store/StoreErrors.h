#pragma once
// Failures of the data files and of the entity registry. The English texts are
// the platform messages that the rest of the program shows after its own
// Portuguese lead-in, so they must stay word for word.
#include "store/Exception.h"

#include <string>

// File-level failures of the data files.
QUORVEX_EXCEPTION(EFileError, Exception);
// A data file exists but cannot be read: "Cannot open file <name>".
QUORVEX_EXCEPTION(EFOpenError, EFileError);
// A data file cannot be created or replaced: "Cannot create file <name>".
QUORVEX_EXCEPTION(EFCreateError, EFileError);
// Writing or flushing a data file failed part-way: "Stream write error".
QUORVEX_EXCEPTION(EWriteError, EFileError);
// A storage file stayed unreadable for every attempt while the registry was
// being built; carries the Portuguese explanation plus the last failure.
QUORVEX_EXCEPTION(EStorageOpenError, EFOpenError);
// A position outside a list: "List index out of bounds (<zero-based index>)".
QUORVEX_EXCEPTION(EListError, Exception);

namespace StoreErrors {
std::string CannotOpenFile(const std::string& FileName);
std::string CannotCreateFile(const std::string& FileName);
std::string StreamWriteError();
std::string ListIndexOutOfBounds(long long ZeroBasedIndex);
} // namespace StoreErrors
