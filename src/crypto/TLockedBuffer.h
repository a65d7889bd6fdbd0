#pragma once
// A fixed-size block of fresh page memory that can be pinned in physical
// memory, so that a typed password is never paged out. The block is left out
// of core dumps as well. It is not cleared on release: its owner clears it
// first (ZeroBuffer) while it still holds the secret.
#include "base/Exception.h"

#include <cstddef>
#include <cstdint>

QUORVEX_EXCEPTION(ELockedBufferError, Exception);
QUORVEX_EXCEPTION(EAllocationError, ELockedBufferError);
QUORVEX_EXCEPTION(EFreeMemError, ELockedBufferError);
QUORVEX_EXCEPTION(ELockMemError, ELockedBufferError);
QUORVEX_EXCEPTION(EUnlockMemError, ELockedBufferError);

class TLockedBuffer {
public:
    TLockedBuffer() = default;
    // A Size of 0 or less is left at 0 without complaint.
    explicit TLockedBuffer(int32_t Size);
    // Unlocks (when locked) and releases (when allocated); never throws.
    ~TLockedBuffer();
    TLockedBuffer(const TLockedBuffer&) = delete;
    TLockedBuffer& operator=(const TLockedBuffer&) = delete;

    // Sets the size of the next block; does not reallocate.
    void SetSize(int32_t Size);
    // Obtains a zero-filled block of Size bytes and returns it.
    void* Allocate();
    void Release();
    void Lock();
    void Unlock();

    int32_t Size() const { return FSize; }
    void* Memory() const { return FMemory; }
    bool Locked() const { return FLocked; }

private:
    int32_t FSize = 0;
    void* FMemory = nullptr;
    bool FLocked = false;
    // The length actually mapped: SetSize may change Size while a block is
    // held, and the block must still be locked and given back whole.
    size_t FMappedSize = 0;
};
