// A stand-in for the kit's seed library: GetMouseSeed answers at once with the
// result a test chose and a known seed, and remembers the owner it was given.
#include "kit/HlKit.h"

#include <cstdint>
#include <cstring>

namespace {
int32_t NextResult = HL_SEED_FILLED;
void* LastOwner = nullptr;
int Calls = 0;
} // namespace

extern "C" {

__attribute__((visibility("default"))) void fault_seed_set(int32_t result)
{
    NextResult = result;
    LastOwner = nullptr;
    Calls = 0;
}
__attribute__((visibility("default"))) void* fault_seed_owner()
{
    return LastOwner;
}
__attribute__((visibility("default"))) int fault_seed_calls()
{
    return Calls;
}

int32_t GetMouseSeed(int32_t reserved, void* owner, void* seed)
{
    (void)reserved;
    ++Calls;
    LastOwner = owner;
    auto* out = static_cast<uint8_t*>(seed);
    // A filled seed is recognisable; a cancelled one stays all zeros.
    if (NextResult > HL_SEED_CANCELLED)
        for (int i = 0; i < HL_SEED_SIZE; ++i)
            out[i] = static_cast<uint8_t>(i + 1);
    return NextResult;
}

} // extern "C"
