// RollChecksums in the 16 16-bit lanes of AVX2 registers, 16 windows a step, by the method of
// the SSE2 version (RollingSumsSse2.cpp): running totals within each half of the register,
// then the low half's total added to the high half. The windows past the last multiple of
// 16 roll one by one. Compiled for AVX2 alone and called only where the processor has it.
#include "platform/RollingSums.h"

#include <immintrin.h>

#include "platform/x86/LaneTotals.h"

namespace Halvorn {
namespace Platform {

namespace {

// Lane 7 of each half in every lane of that half.
inline __m256i LastOfHalves(__m256i v)
{
    return _mm256_shuffle_epi8(v, _mm256_set1_epi16(0x0F0E));
}

// Lane i becomes the sum of lanes 0..i.
inline __m256i RunningTotals16(__m256i v)
{
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 2));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 8));
    // The low half's total, moved to the high half; zero in the low half.
    return _mm256_add_epi16(v, _mm256_permute2x128_si256(LastOfHalves(v), LastOfHalves(v), 0x08));
}

} // namespace

void RollChecksumsAvx2(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                       std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out)
{
    const __m256i oneTo16 = _mm256_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    const __m256i windowLanes = _mm256_set1_epi16(static_cast<short>(window & 0xFFFFu));
    __m256i plainLanes = _mm256_set1_epi16(static_cast<short>(plain & 0xFFFFu));
    __m256i runningLanes = _mm256_set1_epi16(static_cast<short>(running & 0xFFFFu));
    std::uint32_t k = 0;
    for (; count - k >= 16; k += 16) {
        const __m256i leaving =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k)));
        const __m256i entering =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + window)));
        const __m256i plainSteps = RunningTotals16(_mm256_sub_epi16(entering, leaving));
        const __m256i runningSteps =
            RunningTotals16(_mm256_sub_epi16(plainSteps, _mm256_mullo_epi16(leaving, windowLanes)));
        const __m256i plains = _mm256_add_epi16(plainLanes, plainSteps);
        const __m256i runnings = _mm256_add_epi16(_mm256_add_epi16(runningLanes, runningSteps),
                                                  _mm256_mullo_epi16(plainLanes, oneTo16));
        // Unpacking pairs windows 0..3 with 8..11 and 4..7 with 12..15; the halves are
        // put back in order on the way out.
        const __m256i first = _mm256_unpacklo_epi16(plains, runnings);
        const __m256i second = _mm256_unpackhi_epi16(plains, runnings);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k),
                            _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k + 8),
                            _mm256_permute2x128_si256(first, second, 0x31));
        plainLanes = _mm256_permute2x128_si256(LastOfHalves(plains), LastOfHalves(plains), 0x11);
        runningLanes = _mm256_permute2x128_si256(LastOfHalves(runnings), LastOfHalves(runnings), 0x11);
    }
    plain = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(plainLanes)) & 0xFFFFu;
    running = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(runningLanes)) & 0xFFFFu;
    if (k < count)
        RollChecksumsPortable(data + k, count - k, window, plain, running, out + k);
}

// BlockSums 32 bytes a step, as the SSE2 version does 16: the plain sum by sums of absolute
// differences against zero, the weighted one by multiplying the bytes with the weights 32..1
// and adding pairs, then pairs of pairs.
void BlockSumsAvx2(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                             14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m256i ones = _mm256_set1_epi16(1);
    __m256i sums = zero;     // the plain sum so far, in four 64-bit lanes
    __m256i prefixes = zero; // the plain sums before each step, added up
    __m256i weighted = zero; // the weighted sums of the steps, in eight 32-bit lanes
    std::uint32_t i = 0;
    for (; length - i >= 32; i += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
        prefixes = _mm256_add_epi64(prefixes, sums);
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, zero));
        weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(bytes, weights), ones));
    }
    std::uint32_t a = static_cast<std::uint32_t>(Total64(sums));
    std::uint32_t b = static_cast<std::uint32_t>(32 * Total64(prefixes)) + Total32(weighted);
    for (; i < length; ++i) {
        a += data[i];
        b += a;
    }
    plain = a;
    running = b;
}

} // namespace Platform
} // namespace Halvorn
