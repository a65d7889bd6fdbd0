#include "store/StoreErrors.h"

namespace StoreErrors {

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

std::string ListIndexOutOfBounds(long long ZeroBasedIndex)
{
    return "List index out of bounds (" + std::to_string(ZeroBasedIndex) + ")";
}

} // namespace StoreErrors
