// RollChecksums in the 32 16-bit lanes of AVX-512 registers, 32 windows a step, by the
// method of the SSE2 version (RollingSumsSse2.cpp): the steps of the plain and running sums
// are running totals across the lanes, here within each 128-bit quarter as there, then
// across the quarters. A last step of fewer windows loads and stores under a mask, so every
// count runs in the lanes. Compiled for AVX-512 (F, BW, VL) and called only where the
// processor has it.
#include "platform/RollingSums.h"

#include "platform/x86/Avx512Intrinsics.h"
#include "platform/x86/LaneTotals.h"

namespace Halvorn {
namespace Platform {

namespace {

// Lane i becomes the sum of lanes 0..i.
inline __m512i RunningTotals32(__m512i v)
{
    const __m512i zero = _mm512_setzero_si512();
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 2));
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 4));
    v = _mm512_add_epi16(v, _mm512_bslli_epi128(v, 8));
    // Each quarter now holds the totals of its own eight lanes. Its last lane, spread over
    // the quarter, moved up one quarter and then added up over the quarters below, is what
    // every lane of a quarter lacks.
    __m512i below = _mm512_alignr_epi64(_mm512_shuffle_epi8(v, _mm512_set1_epi16(0x0F0E)), zero, 6);
    below = _mm512_add_epi16(below, _mm512_alignr_epi64(below, zero, 6));
    below = _mm512_add_epi16(below, _mm512_alignr_epi64(below, zero, 4));
    return _mm512_add_epi16(v, below);
}

// Up to 32 windows whose leaving and entering bytes are given in 16-bit lanes; `last` is the
// lane of the last one. `plain` and `running` hold the sums of the window before in every
// lane and receive the last window's. The checksums of windows 0..15 go to out[0..15] under
// the mask `storeLow`, those of 16..31 to out[16..31] under `storeHigh`.
inline void RollUpTo32(__m512i leaving, __m512i entering, __m512i window, __m512i last, __mmask16 storeLow,
                       __mmask16 storeHigh, __m512i& plain, __m512i& running, std::uint32_t* out)
{
    const __m512i oneTo32 = _mm512_set_epi16(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17,
                                             16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    // Lane 2j of the checksums of windows 0..15 is plain sum j, lane 2j + 1 running sum j
    // (index 32 + j in the second register); the same for windows 16..31.
    const __m512i low = _mm512_set_epi16(47, 15, 46, 14, 45, 13, 44, 12, 43, 11, 42, 10, 41, 9, 40, 8, 39, 7,
                                         38, 6, 37, 5, 36, 4, 35, 3, 34, 2, 33, 1, 32, 0);
    const __m512i high = _mm512_add_epi16(low, _mm512_set1_epi16(16));
    const __m512i plainSteps = RunningTotals32(_mm512_sub_epi16(entering, leaving));
    const __m512i runningSteps =
        RunningTotals32(_mm512_sub_epi16(plainSteps, _mm512_mullo_epi16(leaving, window)));
    const __m512i plains = _mm512_add_epi16(plain, plainSteps);
    const __m512i runnings =
        _mm512_add_epi16(_mm512_add_epi16(running, runningSteps), _mm512_mullo_epi16(plain, oneTo32));
    _mm512_mask_storeu_epi32(out, storeLow, _mm512_permutex2var_epi16(plains, low, runnings));
    _mm512_mask_storeu_epi32(out + 16, storeHigh, _mm512_permutex2var_epi16(plains, high, runnings));
    plain = _mm512_permutexvar_epi16(last, plains);
    running = _mm512_permutexvar_epi16(last, runnings);
}

} // namespace

void RollChecksumsAvx512(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                         std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out)
{
    const __m512i windowLanes = _mm512_set1_epi16(static_cast<short>(window & 0xFFFFu));
    __m512i plainLanes = _mm512_set1_epi16(static_cast<short>(plain & 0xFFFFu));
    __m512i runningLanes = _mm512_set1_epi16(static_cast<short>(running & 0xFFFFu));
    std::uint32_t k = 0;
    for (; count - k >= 32; k += 32) {
        const __m512i leaving =
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k)));
        const __m512i entering =
            _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k + window)));
        RollUpTo32(leaving, entering, windowLanes, _mm512_set1_epi16(31), 0xFFFF, 0xFFFF, plainLanes,
                   runningLanes, out + k);
    }
    if (k < count) {
        // The lanes past the last window load nothing and store nothing.
        const std::uint32_t rest = count - k;
        const __mmask32 lanes = (__mmask32{1} << rest) - 1;
        const __m512i leaving = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(lanes, data + k));
        const __m512i entering = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(lanes, data + k + window));
        RollUpTo32(leaving, entering, windowLanes, _mm512_set1_epi16(static_cast<short>(rest - 1)),
                   static_cast<__mmask16>(lanes), static_cast<__mmask16>(lanes >> 16), plainLanes,
                   runningLanes, out + k);
    }
    plain = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(plainLanes))) & 0xFFFFu;
    running = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(runningLanes))) & 0xFFFFu;
}

// BlockSums 64 bytes a step, as the AVX2 version does 32, with the weights 64..1.
void BlockSumsAvx512(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
{
    const __m512i zero = _mm512_setzero_si512();
    alignas(64) static const signed char kWeights[64] = {
        64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 43,
        42, 41, 40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21,
        20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1};
    const __m512i weights = _mm512_loadu_si512(kWeights);
    const __m512i ones = _mm512_set1_epi16(1);
    __m512i sums = zero;     // the plain sum so far, in eight 64-bit lanes
    __m512i prefixes = zero; // the plain sums before each step, added up
    __m512i weighted = zero; // the weighted sums of the steps, in sixteen 32-bit lanes
    std::uint32_t i = 0;
    for (; length - i >= 64; i += 64) {
        const __m512i bytes = _mm512_loadu_si512(data + i);
        prefixes = _mm512_add_epi64(prefixes, sums);
        sums = _mm512_add_epi64(sums, _mm512_sad_epu8(bytes, zero));
        weighted = _mm512_add_epi32(weighted, _mm512_madd_epi16(_mm512_maddubs_epi16(bytes, weights), ones));
    }
    // The two halves first, then the lanes of one.
    const auto half = [](__m512i v, bool words) {
        const __m256i low = _mm512_castsi512_si256(v);
        const __m256i high = _mm512_extracti64x4_epi64(v, 1);
        return words ? _mm256_add_epi32(low, high) : _mm256_add_epi64(low, high);
    };
    std::uint32_t a = static_cast<std::uint32_t>(Total64(half(sums, false)));
    std::uint32_t b = static_cast<std::uint32_t>(64 * Total64(half(prefixes, false))) + Total32(half(weighted, true));
    for (; i < length; ++i) {
        a += data[i];
        b += a;
    }
    plain = a;
    running = b;
}

} // namespace Platform
} // namespace Halvorn
