#pragma once
// Collects the positions and timings of the user's mouse movements and turns
// them into a 128-byte seed. Everything goes through SHA-512 together with
// bytes from the system's random source, and the output is XORed with more of
// them, so the seed is never weaker than the system's generator even when the
// movements are predictable.
#include "kit/OpenSslHandles.h"

#include <cstddef>
#include <cstdint>

namespace kit {

inline constexpr std::size_t kSeedSize = 128;

class SeedPool {
public:
    SeedPool(); // throws std::runtime_error when the system's source fails

    // Counts only when the position differs from the last one: the user must
    // actually move the mouse for the pool to fill.
    void AddMovement(int x, int y, std::uint64_t eventTimestamp);
    int Movements() const { return movements_; }

    // Fills 128 bytes; the pool cannot be used afterwards.
    void Finish(std::uint8_t* seed);

private:
    void Absorb(const void* data, std::size_t size);

    EvpMdCtxPtr ctx_;
    int movements_ = 0;
    int lastX_ = 0;
    int lastY_ = 0;
    bool hasLast_ = false;
    bool finished_ = false;
};

// Bytes from the system's random source (getrandom).
void SystemRandom(void* out, std::size_t size);

} // namespace kit
