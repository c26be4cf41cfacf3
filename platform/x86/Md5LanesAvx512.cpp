// Md5Many in the sixteen 32-bit lanes of AVX-512 registers, with the native rotation and
// the ternary logic instruction for the rounds' functions; and in two such registers side
// by side, whose steps fill each other's waits, for batches of more than sixteen. Compiled
// for AVX-512F and called only where the processor has it.
#include "platform/Md5Lanes.h"
#include "platform/portable/Md5LanesCore.h"

#include "platform/x86/Avx512Intrinsics.h"

namespace Halvorn {
namespace Platform {

namespace {

struct Avx512 {
    using V = __m512i;
    static constexpr std::size_t kLanes = 16;

    static V Load(const std::uint32_t* words) { return _mm512_loadu_si512(words); }
    static void Store(std::uint32_t* words, V v) { _mm512_storeu_si512(words, v); }
    static V Add(V a, V b) { return _mm512_add_epi32(a, b); }
    static V Constant(std::uint32_t k) { return _mm512_set1_epi32(static_cast<int>(k)); }

    static V Opaque(V v)
    {
        __asm__("" : "+v"(v));
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
        return _mm512_rol_epi32(v, S);
    }

    template <int Round>
    static V Mix(V b, V c, V d)
    {
        return _mm512_ternarylogic_epi32(b, c, d, Md5Table<Round>::value);
    }

    // Words 4q .. 4q+3 of lanes l, l + 4, l + 8 and l + 12 share a register, a quarter each;
    // one transposition of 4 by 4 in all quarters at once then gives each word's lanes 0..15.
    static void Transpose(const unsigned char* const* blocks, V (&w)[16])
    {
        for (int q = 0; q < 4; ++q) {
            V rows[4];
            for (int l = 0; l < 4; ++l) {
                const auto quarter = [&](int i) {
                    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[l + 4 * i] + 16 * q));
                };
                V row = _mm512_castsi128_si512(quarter(0));
                row = _mm512_inserti32x4(row, quarter(1), 1);
                row = _mm512_inserti32x4(row, quarter(2), 2);
                rows[l] = _mm512_inserti32x4(row, quarter(3), 3);
            }
            const V t0 = _mm512_unpacklo_epi32(rows[0], rows[1]);
            const V t1 = _mm512_unpackhi_epi32(rows[0], rows[1]);
            const V t2 = _mm512_unpacklo_epi32(rows[2], rows[3]);
            const V t3 = _mm512_unpackhi_epi32(rows[2], rows[3]);
            w[4 * q + 0] = _mm512_unpacklo_epi64(t0, t2);
            w[4 * q + 1] = _mm512_unpackhi_epi64(t0, t2);
            w[4 * q + 2] = _mm512_unpacklo_epi64(t1, t3);
            w[4 * q + 3] = _mm512_unpackhi_epi64(t1, t3);
        }
    }
};

} // namespace

bool Md5Many16Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out)
{
    Md5Lanes<Avx512>(data, lengths, count, out);
    return true;
}

bool Md5Many32Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out)
{
    Md5Lanes<Twice<Avx512>>(data, lengths, count, out);
    return true;
}

} // namespace Platform
} // namespace Halvorn
