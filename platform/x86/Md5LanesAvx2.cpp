// Md5Many in the 32-bit lanes of AVX2 registers: one register of eight lanes, or two side
// by side, where the steps of one register wait on each other and those of the other fill
// the gaps, so sixteen messages take about the time of eight. Compiled for AVX2 alone and
// called only where the processor has it.
#include "platform/Md5Lanes.h"
#include "platform/portable/Md5LanesCore.h"

#include <immintrin.h>

namespace Halvorn {
namespace Platform {

namespace {

struct Avx2 {
    using V = __m256i;
    static constexpr std::size_t kLanes = 8;

    static V Load(const std::uint32_t* words)
    {
        return _mm256_loadu_si256(reinterpret_cast<const V*>(words));
    }
    static void Store(std::uint32_t* words, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(words), v); }
    static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Constant(std::uint32_t k) { return _mm256_set1_epi32(static_cast<int>(k)); }

    static V Opaque(V v)
    {
        __asm__("" : "+x"(v));
        return v;
    }

    static const std::uint32_t* Opaque(const std::uint32_t* p)
    {
        __asm__("" : "+r"(p));
        return p;
    }

    template <int S>
    static V RotateLeft(V v)
    {
        if constexpr (S == 16) {
            // One byte shuffle instead of two shifts and an or.
            const V halves = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0,
                                              1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
            return _mm256_shuffle_epi8(v, halves);
        } else {
            return _mm256_or_si256(_mm256_slli_epi32(v, S), _mm256_srli_epi32(v, 32 - S));
        }
    }

    // F, G, H, I in the forms that need fewest operations, with the term that waits for b
    // (the newest value) last where the form allows.
    template <int Round>
    static V Mix(V b, V c, V d)
    {
        if constexpr (Round == 0) // (b & c) | (~b & d)
            return _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d)));
        else if constexpr (Round == 1) // (b & d) | (c & ~d)
            return _mm256_or_si256(_mm256_andnot_si256(d, c), _mm256_and_si256(b, d));
        else if constexpr (Round == 2)
            return _mm256_xor_si256(b, _mm256_xor_si256(c, d));
        else // c ^ (b | ~d)
            return _mm256_xor_si256(c, _mm256_or_si256(b, _mm256_xor_si256(d, _mm256_set1_epi32(-1))));
    }

    // Words 4q .. 4q+3 of lanes l and l + 4 share a register, low and high half; one
    // transposition of 4 by 4 in both halves at once then gives each word's lanes 0..7.
    static void Transpose(const unsigned char* const* blocks, V (&w)[16])
    {
        for (int q = 0; q < 4; ++q) {
            V rows[4];
            for (int l = 0; l < 4; ++l) {
                const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[l] + 16 * q));
                const __m128i high =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[l + 4] + 16 * q));
                rows[l] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
            }
            const V t0 = _mm256_unpacklo_epi32(rows[0], rows[1]);
            const V t1 = _mm256_unpackhi_epi32(rows[0], rows[1]);
            const V t2 = _mm256_unpacklo_epi32(rows[2], rows[3]);
            const V t3 = _mm256_unpackhi_epi32(rows[2], rows[3]);
            w[4 * q + 0] = _mm256_unpacklo_epi64(t0, t2);
            w[4 * q + 1] = _mm256_unpackhi_epi64(t0, t2);
            w[4 * q + 2] = _mm256_unpacklo_epi64(t1, t3);
            w[4 * q + 3] = _mm256_unpackhi_epi64(t1, t3);
        }
    }
};

} // namespace

bool Md5Many8Avx2(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                  _md5_hash* out)
{
    Md5Lanes<Avx2>(data, lengths, count, out);
    return true;
}

bool Md5Many16Avx2(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                   _md5_hash* out)
{
    Md5Lanes<Twice<Avx2>>(data, lengths, count, out);
    return true;
}

} // namespace Platform
} // namespace Halvorn
