// Md5Many in the 32-bit lanes of one xmm or ymm register (4 or 8 lanes), with AVX-512's
// native rotation and ternary logic on these narrow registers (AVX-512VL). A call costs the
// chain of 64 dependent steps a block whatever the lanes hold, so batches of a few messages
// want no more lanes than they fill: the work of idle lanes is saved, and processors that
// split zmm operations in two run these at full rate. Compiled for AVX-512F and VL, and
// called only where the processor has both.
#include "platform/Md5Lanes.h"
#include "platform/portable/Md5LanesCore.h"

#include "platform/x86/Avx512Intrinsics.h"

namespace Halvorn {
namespace Platform {

namespace {

struct Vl256 {
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
        return _mm256_rol_epi32(v, S);
    }

    template <int Round>
    static V Mix(V b, V c, V d)
    {
        return _mm256_ternarylogic_epi32(b, c, d, Md5Table<Round>::value);
    }

    // As in the AVX2 version: lanes l and l + 4 share a register, then 4 by 4 in both halves.
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

struct Vl128 {
    using V = __m128i;
    static constexpr std::size_t kLanes = 4;

    static V Load(const std::uint32_t* words) { return _mm_loadu_si128(reinterpret_cast<const V*>(words)); }
    static void Store(std::uint32_t* words, V v) { _mm_storeu_si128(reinterpret_cast<V*>(words), v); }
    static V Add(V a, V b) { return _mm_add_epi32(a, b); }
    static V Constant(std::uint32_t k) { return _mm_set1_epi32(static_cast<int>(k)); }

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
        return _mm_rol_epi32(v, S);
    }

    template <int Round>
    static V Mix(V b, V c, V d)
    {
        return _mm_ternarylogic_epi32(b, c, d, Md5Table<Round>::value);
    }

    static void Transpose(const unsigned char* const* blocks, V (&w)[16])
    {
        for (int q = 0; q < 4; ++q) {
            V rows[4];
            for (int l = 0; l < 4; ++l)
                rows[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[l] + 16 * q));
            const V t0 = _mm_unpacklo_epi32(rows[0], rows[1]);
            const V t1 = _mm_unpackhi_epi32(rows[0], rows[1]);
            const V t2 = _mm_unpacklo_epi32(rows[2], rows[3]);
            const V t3 = _mm_unpackhi_epi32(rows[2], rows[3]);
            w[4 * q + 0] = _mm_unpacklo_epi64(t0, t2);
            w[4 * q + 1] = _mm_unpackhi_epi64(t0, t2);
            w[4 * q + 2] = _mm_unpacklo_epi64(t1, t3);
            w[4 * q + 3] = _mm_unpackhi_epi64(t1, t3);
        }
    }
};

} // namespace

bool Md5Many4Avx512Vl(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                      _md5_hash* out)
{
    Md5Lanes<Vl128>(data, lengths, count, out);
    return true;
}

bool Md5Many8Avx512Vl(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                      _md5_hash* out)
{
    Md5Lanes<Vl256>(data, lengths, count, out);
    return true;
}

} // namespace Platform
} // namespace Halvorn
