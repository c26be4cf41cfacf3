// FilterProbe in the lanes of AVX2 registers, eight checksums a step: their words' numbers
// by one multiplication, the words fetched by two gathers of four, and the bits they ask
// for computed rather than looked up, by a rotation of one of eight pairs of bits. The
// checksums past the last multiple of eight go one by one. Compiled for AVX2 alone and
// called only where the processor has it.
#include "platform/FilterProbe.h"

#include <immintrin.h>

namespace Halvorn {
namespace Platform {

namespace {

// The two bits of a half that the byte in each lane's low eight bits asks for: bits 0 and
// 1 + 4t by its top three bits t, rotated by its low five.
inline __m256i HalfBits(__m256i byte, __m256i pairs)
{
    const __m256i rotation = _mm256_and_si256(byte, _mm256_set1_epi32(31));
    const __m256i pair = _mm256_permutevar8x32_epi32(pairs, _mm256_srli_epi32(byte, 5));
    return _mm256_or_si256(_mm256_sllv_epi32(pair, rotation),
                           _mm256_srlv_epi32(pair, _mm256_sub_epi32(_mm256_set1_epi32(32), rotation)));
}

} // namespace

void FilterProbeAvx2(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                     unsigned shift, std::uint64_t* maybe)
{
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(kFilterMultiplier));
    const __m128i shiftCount = _mm_cvtsi32_si128(static_cast<int>(shift));
    const __m256i pairs =
        _mm256_setr_epi32(0x3, 0x21, 0x201, 0x2001, 0x20001, 0x200001, 0x2000001, 0x20000001);
    const auto* const base = reinterpret_cast<const long long*>(words);
    for (std::uint32_t start = 0; start < count; start += 64) {
        const std::uint32_t n = count - start < 64 ? count - start : 64;
        const std::uint32_t* const chunk = checksums + start;
        std::uint64_t bits = 0;
        std::uint32_t i = 0;
        for (; n - i >= 8; i += 8) {
            const __m256i checksum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chunk + i));
            const __m256i word = _mm256_srl_epi32(_mm256_mullo_epi32(checksum, multiplier), shiftCount);
            const __m256i low = HalfBits(checksum, pairs);
            const __m256i high = HalfBits(_mm256_srli_epi32(checksum, 16), pairs);
            // Unpacking pairs checksums 0, 1 with 4, 5 and 2, 3 with 6, 7; the halves are put
            // back in order.
            const __m256i even = _mm256_unpacklo_epi32(low, high);
            const __m256i odd = _mm256_unpackhi_epi32(low, high);
            const __m256i firstWords = _mm256_i32gather_epi64(base, _mm256_castsi256_si128(word), 8);
            const __m256i secondWords = _mm256_i32gather_epi64(base, _mm256_extracti128_si256(word, 1), 8);
            const __m256i zero = _mm256_setzero_si256();
            const __m256i firstClear = _mm256_cmpeq_epi64(
                _mm256_and_si256(firstWords, _mm256_permute2x128_si256(even, odd, 0x20)), zero);
            const __m256i secondClear = _mm256_cmpeq_epi64(
                _mm256_and_si256(secondWords, _mm256_permute2x128_si256(even, odd, 0x31)), zero);
            const auto clear =
                static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(firstClear))) |
                (static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(secondClear))) << 4);
            bits |= std::uint64_t{clear} << i;
        }
        for (; i < n; ++i)
            if ((words[FilterWord(chunk[i], shift)] & FilterBits(chunk[i])) == 0)
                bits |= std::uint64_t{1} << i;
        maybe[start / 64] = bits;
    }
}

} // namespace Platform
} // namespace Halvorn
