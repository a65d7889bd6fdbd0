#pragma once
// Byte buffers for key material: every block the container gives back to the
// heap (on growth or destruction) is cleansed first, so no copy of a password,
// derived key or private key is left behind in freed memory.
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
  CleansingAllocator(const CleansingAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept
  {
    OPENSSL_cleanse(p, n * sizeof(T));
    ::operator delete(p);
  }
  template <typename U>
  bool operator==(const CleansingAllocator<U>&) const noexcept { return true; }
};

using SecureBytes = std::vector<std::uint8_t, CleansingAllocator<std::uint8_t>>;

using Bytes = std::vector<std::uint8_t>;

} // namespace kit
