// FilterProbe in the lanes of AVX-512 registers, sixteen checksums a step: their words'
// numbers by one multiplication, the words fetched by two gathers of eight, and the bits
// they ask for computed rather than looked up, by a rotation of one of eight pairs of bits.
// A last step of fewer checksums loads and gathers under a mask. Compiled for AVX-512 (F,
// BW, VL) and called only where the processor has it.
//
// What the lanes save is the arithmetic and the branch around each load, not the loads: a
// gather fetches no faster than as many ordinary loads.
#include "platform/FilterProbe.h"

#include "platform/x86/Avx512Intrinsics.h"

namespace Halvorn {
namespace Platform {

void FilterProbeAvx512(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                       unsigned shift, std::uint64_t* maybe)
{
    const __m512i multiplier = _mm512_set1_epi32(static_cast<int>(kFilterMultiplier));
    const __m128i shiftCount = _mm_cvtsi32_si128(static_cast<int>(shift));
    // By a byte's top three bits t (twice over, for the bit above them, which does not
    // count): bits 0 and 1 + 4t, which rotated by the byte's low five bits are its two bits.
    const __m512i pairs =
        _mm512_setr_epi32(0x3, 0x21, 0x201, 0x2001, 0x20001, 0x200001, 0x2000001, 0x20000001, 0x3, 0x21,
                          0x201, 0x2001, 0x20001, 0x200001, 0x2000001, 0x20000001);
    // The low and the high half of the bits of checksums 0..7, then of 8..15, side by side.
    const __m512i firstEight = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i secondEight = _mm512_add_epi32(firstEight, _mm512_set1_epi32(8));
    const __m512i zero = _mm512_setzero_si512();
    for (std::uint32_t start = 0; start < count; start += 64) {
        const std::uint32_t n = count - start < 64 ? count - start : 64;
        std::uint64_t bits = 0;
        for (std::uint32_t i = 0; i < n; i += 16) {
            const __mmask16 lanes =
                n - i >= 16 ? __mmask16{0xFFFF} : static_cast<__mmask16>((1u << (n - i)) - 1);
            const __m512i checksum = _mm512_maskz_loadu_epi32(lanes, checksums + start + i);
            const __m512i word = _mm512_srl_epi32(_mm512_mullo_epi32(checksum, multiplier), shiftCount);
            const __m512i low =
                _mm512_rolv_epi32(_mm512_permutexvar_epi32(_mm512_srli_epi32(checksum, 5), pairs), checksum);
            const __m512i high =
                _mm512_rolv_epi32(_mm512_permutexvar_epi32(_mm512_srli_epi32(checksum, 21), pairs),
                                  _mm512_srli_epi32(checksum, 16));
            const __m512i firstWords = _mm512_mask_i32gather_epi64(zero, static_cast<__mmask8>(lanes),
                                                                   _mm512_castsi512_si256(word), words, 8);
            const __m512i secondWords = _mm512_mask_i32gather_epi64(
                zero, static_cast<__mmask8>(lanes >> 8), _mm512_extracti64x4_epi64(word, 1), words, 8);
            const unsigned clear =
                _mm512_testn_epi64_mask(firstWords, _mm512_permutex2var_epi32(low, firstEight, high)) |
                (unsigned{
                     _mm512_testn_epi64_mask(secondWords, _mm512_permutex2var_epi32(low, secondEight, high))}
                 << 8);
            bits |= std::uint64_t{clear & lanes} << i;
        }
        maybe[start / 64] = bits;
    }
}

} // namespace Platform
} // namespace Halvorn
