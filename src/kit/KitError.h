#pragma once
// Inside the kit a failure travels as a KitError carrying the result code that
// the exported function will return; the exported functions catch everything,
// so no exception ever reaches the caller of the kit.
#include <cstdint>

namespace kit {

struct KitError {
    std::int32_t Code;
};

[[noreturn]] inline void Fail(std::int32_t code)
{
    throw KitError{code};
}

} // namespace kit
