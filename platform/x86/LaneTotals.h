// Totals of the lanes of a 256-bit register, for the block sums of the AVX2 and AVX-512
// files. Folded with vector adds, which wrap: the compiler's reduce intrinsics add in signed
// C arithmetic, where wrapping is undefined. In an unnamed namespace, so that each file keeps
// the copy compiled for its own instruction set.
#ifndef KORRIN_PLATFORM_X86_LANETOTALS_H
#define KORRIN_PLATFORM_X86_LANETOTALS_H

#include <cstdint>

#include <immintrin.h>

namespace Halvorn {
namespace Platform {
namespace {

std::uint64_t Total64(__m256i v)
{
    __m128i half = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    half = _mm_add_epi64(half, _mm_unpackhi_epi64(half, half));
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(half));
}

std::uint32_t Total32(__m256i v)
{
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0x4E));
    half = _mm_add_epi32(half, _mm_shuffle_epi32(half, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(half));
}

} // namespace
} // namespace Platform
} // namespace Halvorn

#endif
