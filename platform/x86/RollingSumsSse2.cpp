// BlockSums with SSE2, which every x86-64 processor has. Per 16 bytes: one sum of absolute
// differences against zero gives the plain sum, and two multiply-adds against the weights
// 16..1 give the weighted one. Everything is linear with integer coefficients, so lanes may
// wrap modulo 2^32 (or 2^64) without changing the result modulo 2^32.
#include "platform/RollingSums.h"

#include <emmintrin.h>

namespace Halvorn {
namespace Platform {

namespace {

std::uint64_t Sum64(__m128i v)
{
    return static_cast<std::uint64_t>(_mm_cvtsi128_si64(v)) +
           static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

std::uint32_t Sum32(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

} // namespace

void BlockSums(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    __m128i sums = zero;     // the plain sum so far, in two 64-bit halves
    __m128i prefixes = zero; // the plain sums before each group, added up
    __m128i weighted = zero; // the weighted sums of the groups, in four 32-bit lanes

    std::uint32_t i = 0;
    for (; length - i >= 16; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        prefixes = _mm_add_epi64(prefixes, sums);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, zero));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weightsLow));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), weightsHigh));
    }
    std::uint32_t a = static_cast<std::uint32_t>(Sum64(sums));
    std::uint32_t b = static_cast<std::uint32_t>(16 * Sum64(prefixes)) + Sum32(weighted);
    for (; i < length; ++i) {
        a += data[i];
        b += a;
    }
    plain = a;
    running = b;
}

} // namespace Platform
} // namespace Halvorn
