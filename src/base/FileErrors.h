#pragma once
// Failures of reading and writing files. The English texts are the platform
// messages that the program shows after its own Portuguese lead-in, so they
// stay word for word.
#include "base/Exception.h"

#include <string>

// File-level failures.
QUORVEX_EXCEPTION(EFileError, Exception);
// A file exists but cannot be read: "Cannot open file <name>".
QUORVEX_EXCEPTION(EFOpenError, EFileError);
// A file cannot be created or replaced: "Cannot create file <name>".
QUORVEX_EXCEPTION(EFCreateError, EFileError);
// Writing or flushing a file failed part-way: "Stream write error".
QUORVEX_EXCEPTION(EWriteError, EFileError);

namespace FileErrors {
std::string CannotOpenFile(const std::string& FileName);
std::string CannotCreateFile(const std::string& FileName);
std::string StreamWriteError();
} // namespace FileErrors
