#include "crypto/TLockedBuffer.h"

#include "base/FormatText.h"
#include "base/Texts.h"

#include <cerrno>
#include <sys/mman.h>

TLockedBuffer::TLockedBuffer(int32_t Size)
{
    if (Size > 0)
        SetSize(Size);
}

TLockedBuffer::~TLockedBuffer()
{
    if (FMemory) {
        try {
            if (FLocked)
                Unlock();
        } catch (...) {
            // Releasing the block below drops the lock with it.
        }
        try {
            Release();
        } catch (...) {
        }
    }
    FMemory = nullptr;
    FLocked = false;
}

void TLockedBuffer::SetSize(int32_t Size)
{
    if (Size <= 0)
        throw EAllocationError(Texts::InvalidMemorySize);
    FSize = Size;
}

void* TLockedBuffer::Allocate()
{
    if (FMemory)
        throw EAllocationError(Texts::MemoryAddressAlreadyUsed);
    if (FSize == 0)
        throw EAllocationError(Texts::InvalidMemorySize);
    // Anonymous pages come from the kernel zero-filled and belong to us alone.
    void* block = mmap(nullptr, static_cast<size_t>(FSize), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw EAllocationError(FormatText(Texts::AllocMemoryError, {std::to_string(errno)}));
#ifdef MADV_DONTDUMP
    // Keeps the secret out of core dumps; a kernel without it still works.
    madvise(block, static_cast<size_t>(FSize), MADV_DONTDUMP);
#endif
    FMemory = block;
    FMappedSize = static_cast<size_t>(FSize);
    return FMemory;
}

void TLockedBuffer::Release()
{
    if (!FMemory)
        throw EFreeMemError(Texts::UnallocatedMemory);
    if (munmap(FMemory, FMappedSize) != 0)
        throw EFreeMemError(FormatText(Texts::FreeMemoryError, {std::to_string(errno)}));
    FMemory = nullptr;
    FMappedSize = 0;
    // Unmapping drops any lock on the pages.
    FLocked = false;
}

void TLockedBuffer::Lock()
{
    if (!FMemory)
        throw ELockMemError(Texts::UnallocatedMemory);
    if (FLocked)
        throw ELockMemError(Texts::MemoryAlreadyLocked);
    if (mlock(FMemory, FMappedSize) != 0)
        throw ELockMemError(FormatText(Texts::LockMemoryError, {std::to_string(errno)}));
    FLocked = true;
}

void TLockedBuffer::Unlock()
{
    if (!FMemory)
        throw EUnlockMemError(Texts::UnallocatedMemory);
    if (!FLocked)
        throw EUnlockMemError(Texts::MemoryNotLocked);
    if (munlock(FMemory, FMappedSize) != 0)
        throw EUnlockMemError(FormatText(Texts::UnlockMemoryError, {std::to_string(errno)}));
    FLocked = false;
}
