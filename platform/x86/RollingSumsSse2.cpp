// BlockSums and RollChecksums with SSE2, which every x86-64 processor has: BlockSums, and
// RollChecksums where the processor has nothing wider.
//
// BlockSums, per 16 bytes: one sum of absolute differences against zero gives the plain sum,
// and two multiply-adds against the weights 16..1 give the weighted one. Everything is
// linear with integer coefficients, so lanes may wrap modulo 2^32 (or 2^64) without
// changing the result modulo 2^32.
//
// RollChecksums, per 8 windows in 16-bit lanes, which is exact since only the sums modulo
// 65536 count: rolling by one byte adds (entering - leaving) to the plain sum and
// (new plain sum - W * leaving) to the running one, so the sums of 8 consecutive windows
// are running totals of those steps across the lanes, plus the sums of the window before.
// Written so that the steps of a group do not wait for the group before: only the final
// additions of the carried sums form a chain from one group to the next.
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

// Lane i becomes the sum of lanes 0..i.
__m128i RunningTotals16(__m128i v)
{
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    return _mm_add_epi16(v, _mm_slli_si128(v, 8));
}

// Lane 7 in every lane.
__m128i LastLane16(__m128i v)
{
    return _mm_shuffle_epi32(_mm_shufflehi_epi16(v, 0xFF), 0xFF);
}

// Eight windows whose leaving and entering bytes are given in 16-bit lanes. `plain` and
// `running` hold the sums of the window before in every lane and receive the last window's.
inline void RollEight(__m128i leaving, __m128i entering, __m128i window, __m128i& plain, __m128i& running,
                      std::uint32_t* out)
{
    const __m128i oneToEight = _mm_setr_epi16(1, 2, 3, 4, 5, 6, 7, 8);
    // Plain sum of window k: plain + the steps up to k.
    const __m128i plainSteps = RunningTotals16(_mm_sub_epi16(entering, leaving));
    // Running sum of window k: running + the plain sums of windows 0..k - W * their leaving
    // bytes, where the plain sums contribute (k + 1) * plain and the plain steps up to each.
    const __m128i runningSteps = RunningTotals16(_mm_sub_epi16(plainSteps, _mm_mullo_epi16(leaving, window)));
    const __m128i plains = _mm_add_epi16(plain, plainSteps);
    const __m128i runnings = _mm_add_epi16(_mm_add_epi16(running, runningSteps), _mm_mullo_epi16(plain, oneToEight));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(plains, runnings));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(plains, runnings));
    plain = LastLane16(plains);
    running = LastLane16(runnings);
}

} // namespace

void BlockSumsSse2(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
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

void RollChecksumsSse2(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                       std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i windowLanes = _mm_set1_epi16(static_cast<short>(window & 0xFFFFu));
    __m128i plainLanes = _mm_set1_epi16(static_cast<short>(plain & 0xFFFFu));
    __m128i runningLanes = _mm_set1_epi16(static_cast<short>(running & 0xFFFFu));
    std::uint32_t k = 0;
    for (; count - k >= 16; k += 16) {
        const __m128i leaving = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k));
        const __m128i entering = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + k + window));
        RollEight(_mm_unpacklo_epi8(leaving, zero), _mm_unpacklo_epi8(entering, zero), windowLanes, plainLanes,
                  runningLanes, out + k);
        RollEight(_mm_unpackhi_epi8(leaving, zero), _mm_unpackhi_epi8(entering, zero), windowLanes, plainLanes,
                  runningLanes, out + k + 8);
    }
    plain = static_cast<std::uint32_t>(_mm_cvtsi128_si32(plainLanes)) & 0xFFFFu;
    running = static_cast<std::uint32_t>(_mm_cvtsi128_si32(runningLanes)) & 0xFFFFu;
    if (k < count)
        RollChecksumsPortable(data + k, count - k, window, plain, running, out + k);
}

} // namespace Platform
} // namespace Halvorn
