#pragma once
// Whether this test program runs under AddressSanitizer, which replaces
// mlock/munlock with no-ops and keeps its own heap: what the kernel locked,
// or what freed memory holds, cannot be observed there.
namespace testsupport {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool UnderAddressSanitizer = true;
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif

} // namespace testsupport
