#pragma once
// Byte buffers for key material: every block the container gives back to the
// heap (on growth or destruction) is cleansed first, so no copy of a password,
// derived key or private key is left behind in freed memory. In the key
// library the blocks come from locked memory (see UseLockedMemory).
#include <openssl/crypto.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace kit {

template <typename T>
struct CleansingAllocator {
    using value_type = T;
    CleansingAllocator() noexcept = default;
    template <typename U>
    CleansingAllocator(const CleansingAllocator<U>&) noexcept
    {
    }

    // From OpenSSL's secure heap (locked in memory, kept out of core dumps)
    // once the kit has set one up and while it has room; else the plain heap.
    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (CRYPTO_secure_malloc_initialized()) {
            if (void* p = OPENSSL_secure_malloc(bytes))
                return static_cast<T*>(p);
        }
        return static_cast<T*>(::operator new(bytes));
    }
    void deallocate(T* p, std::size_t n) noexcept
    {
        if (CRYPTO_secure_allocated(p)) {
            OPENSSL_secure_clear_free(p, n * sizeof(T));
            return;
        }
        OPENSSL_cleanse(p, n * sizeof(T));
        ::operator delete(p);
    }
    template <typename U>
    bool operator==(const CleansingAllocator<U>&) const noexcept
    {
        return true;
    }
};

using SecureBytes = std::vector<std::uint8_t, CleansingAllocator<std::uint8_t>>;

using Bytes = std::vector<std::uint8_t>;

} // namespace kit
