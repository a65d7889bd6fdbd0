#include "store/StoreErrors.h"

namespace StoreErrors {

std::string ListIndexOutOfBounds(long long ZeroBasedIndex)
{
    return "List index out of bounds (" + std::to_string(ZeroBasedIndex) + ")";
}

} // namespace StoreErrors
