#include "base/FileErrors.h"

namespace FileErrors {

std::string CannotOpenFile(const std::string& FileName)
{
    return "Cannot open file " + FileName;
}

std::string CannotCreateFile(const std::string& FileName)
{
    return "Cannot create file " + FileName;
}

std::string StreamWriteError()
{
    return "Stream write error";
}

} // namespace FileErrors
