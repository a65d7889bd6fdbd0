#include "support/Sanitizers.h"
#include "crypto/TLockedBuffer.h"
#include "crypto/Wipe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// AddressSanitizer intercepts mlock/munlock and does nothing, so what the
// kernel locked cannot be observed in that build.
constexpr bool MlockIsReplacedBySanitizer = testsupport::UnderAddressSanitizer;

namespace {

template <typename E, typename F>
std::string MessageOf(F&& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("wrong class: ") + ExceptionClassName(e) + " " + e.what();
    }
    return "no exception";
}

// Whether the page holding p is resident and mapped (mincore fails with
// ENOMEM for unmapped memory).
bool IsMapped(void* p)
{
    const long page = sysconf(_SC_PAGESIZE);
    auto* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(page - 1));
    unsigned char vec = 0;
    return mincore(start, static_cast<size_t>(page), &vec) == 0;
}

TEST(TLockedBuffer, AllocatesZeroedLockableMemory)
{
    TLockedBuffer buffer(32);
    EXPECT_EQ(buffer.Size(), 32);
    EXPECT_EQ(buffer.Memory(), nullptr);
    EXPECT_FALSE(buffer.Locked());
    auto* p = static_cast<unsigned char*>(buffer.Allocate());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, buffer.Memory());
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(p[i], 0);
    std::memcpy(p, "SENHA123", 9);
    buffer.Lock();
    EXPECT_TRUE(buffer.Locked());
    buffer.Unlock();
    EXPECT_FALSE(buffer.Locked());
    ZeroBuffer(p, 32);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(p[i], 0);
    buffer.Release();
    EXPECT_EQ(buffer.Memory(), nullptr);
    EXPECT_FALSE(IsMapped(p));
}

TEST(TLockedBuffer, MisuseIsRefusedWithItsMessage)
{
    TLockedBuffer empty;
    EXPECT_EQ(MessageOf<EAllocationError>([&] { empty.Allocate(); }), "Invalid memory size!");
    EXPECT_EQ(MessageOf<EAllocationError>([&] { empty.SetSize(0); }), "Invalid memory size!");
    EXPECT_EQ(MessageOf<EAllocationError>([&] { empty.SetSize(-5); }), "Invalid memory size!");
    EXPECT_EQ(MessageOf<EFreeMemError>([&] { empty.Release(); }), "Cannot access unallocated memory!");
    EXPECT_EQ(MessageOf<ELockMemError>([&] { empty.Lock(); }), "Cannot access unallocated memory!");
    EXPECT_EQ(MessageOf<EUnlockMemError>([&] { empty.Unlock(); }), "Cannot access unallocated memory!");

    TLockedBuffer zeroSized(0);
    EXPECT_EQ(zeroSized.Size(), 0);
    TLockedBuffer negative(-1);
    EXPECT_EQ(negative.Size(), 0);

    TLockedBuffer buffer(16);
    buffer.Allocate();
    EXPECT_EQ(MessageOf<EAllocationError>([&] { buffer.Allocate(); }), "Memory address already used!");
    EXPECT_EQ(MessageOf<EUnlockMemError>([&] { buffer.Unlock(); }), "Memory is not locked yet!");
    buffer.Lock();
    EXPECT_EQ(MessageOf<ELockMemError>([&] { buffer.Lock(); }), "Memory is already locked!");
    // Every one of them is a locked-buffer error.
    try {
        buffer.Lock();
    } catch (const ELockedBufferError& e) {
        EXPECT_STREQ(e.ClassName(), "ELockMemError");
    }
}

TEST(TLockedBuffer, DestroyingALockedBlockUnlocksAndReleasesIt)
{
    void* p = nullptr;
    {
        TLockedBuffer buffer(32);
        p = buffer.Allocate();
        buffer.Lock();
        ASSERT_TRUE(IsMapped(p));
    }
    EXPECT_FALSE(IsMapped(p));
}

TEST(TLockedBuffer, ResizingWhileHeldStillGivesTheWholeBlockBack)
{
    // Size may change while a block is held; the block that was mapped is the
    // one released, whatever Size says now.
    const long page = sysconf(_SC_PAGESIZE);
    TLockedBuffer buffer(static_cast<int32_t>(3 * page));
    auto* p = static_cast<char*>(buffer.Allocate());
    buffer.SetSize(1);
    buffer.Lock();
    buffer.Unlock();
    buffer.Release();
    EXPECT_FALSE(IsMapped(p));
    EXPECT_FALSE(IsMapped(p + 2 * page));
}

// Locking beyond the memory-lock limit, in a child process that has given
// up the privilege to exceed it; exits 0 when the failure was reported as it
// should be.
[[noreturn]] void LockBeyondLimitInChild()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) == 0) {
        data[CAP_IPC_LOCK / 32].effective &= ~(1u << (CAP_IPC_LOCK % 32));
        syscall(SYS_capset, &header, data);
    }
    const long page = sysconf(_SC_PAGESIZE);
    rlimit limit{static_cast<rlim_t>(page), static_cast<rlim_t>(page)};
    if (setrlimit(RLIMIT_MEMLOCK, &limit) != 0)
        _exit(2);
    TLockedBuffer big(static_cast<int32_t>(8 * page));
    big.Allocate();
    try {
        big.Lock();
        _exit(3);
    } catch (const ELockMemError& e) {
        const std::string message = e.what();
        const bool named = message == "A 12 system error occured while attempting to lock memory!"
                           || message == "A 1 system error occured while attempting to lock memory!";
        // A block whose lock failed is still held and must be released.
        const bool held = !big.Locked() && big.Memory() != nullptr;
        big.Release();
        _exit(named && held ? 0 : 4);
    }
}

TEST(TLockedBufferDeathTest, LockRefusedBySystemCarriesTheErrorNumber)
{
    if (MlockIsReplacedBySanitizer)
        GTEST_SKIP() << "AddressSanitizer replaces mlock with a no-op; the plain build checks this";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(LockBeyondLimitInChild(), ::testing::ExitedWithCode(0), "");
}

} // namespace
