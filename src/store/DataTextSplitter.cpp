#include "store/DataTextSplitter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define QUORVEX_HAS_AVX2_ENGINE 1
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace DataTextSplitter {

namespace {

struct LineEstimate {
    std::size_t Lines;
    std::size_t Headers;
};

namespace Portable {
#include "store/DataTextSplitter.inc"
} // namespace Portable

#ifdef QUORVEX_HAS_AVX2_ENGINE
// The same loop again, built for processors with AVX2 (and the bit
// instructions that come with them); only called after asking the processor.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,bmi,popcnt"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,bmi,popcnt")
#endif
#define QUORVEX_SPLIT_AVX2
namespace Avx2 {
#include "store/DataTextSplitter.inc"
} // namespace Avx2
#undef QUORVEX_SPLIT_AVX2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

} // namespace

bool Available(Engine Which)
{
    if (Which == Engine::Portable)
        return true;
#ifdef QUORVEX_HAS_AVX2_ENGINE
    // The answer for AVX2 also covers whether the system saves the wide
    // registers. Asked once, and safe even before the program's own start.
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
    }();
    return avx2;
#else
    return false;
#endif
}

Engine Fastest()
{
    return Available(Engine::Avx2) ? Engine::Avx2 : Engine::Portable;
}

Result Split(std::string_view Text, std::vector<std::string_view>& Lines, std::vector<DataTextSection>& Sections,
             Engine Which)
{
#ifdef QUORVEX_HAS_AVX2_ENGINE
    if (Which == Engine::Avx2 && Available(Engine::Avx2))
        return Avx2::SplitText(Text, Lines, Sections);
#endif
    (void)Which;
    return Portable::SplitText(Text, Lines, Sections);
}

} // namespace DataTextSplitter
