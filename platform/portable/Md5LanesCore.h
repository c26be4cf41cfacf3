// What every vector version of Md5Many shares: MD5's constants and its 64 steps written over
// a vector type of the version's own, and the scheduling that keeps each lane busy with one
// message after another.
//
// A version supplies a struct Ops with (Twice below makes one of two)
//   V                          its vector of kLanes 32-bit lanes
//   kLanes
//   Load, Store                V from and to kLanes words in memory, unaligned
//   Add, Constant              lane-wise sum; a value in every lane
//   Opaque                     its argument (a V, or the constants' address) as a value the
//                              compiler cannot see through, which keeps it from regrouping
//   RotateLeft<S>              lane-wise rotation
//   Mix<Round>                 the round's function of b, c, d (F, G, H, I)
//   Transpose(blocks, w)       w[j] lane l = word j of the 64-byte block at blocks[l]
//
// Everything here has internal linkage: each vector file compiles its own copy with its own
// instruction set, and the linker must not pick one copy for all.
#ifndef KORRIN_PLATFORM_PORTABLE_MD5LANESCORE_H
#define KORRIN_PLATFORM_PORTABLE_MD5LANESCORE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include <Vantrel/HashValues.h>

namespace Halvorn {
namespace Platform {
namespace {

constexpr std::uint32_t kMd5Initial[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};

// floor(|sin(i + 1)| * 2^32), step i's additive constant.
constexpr std::uint32_t kMd5Constants[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u,
};

constexpr int kMd5Rotations[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// The message word step i adds: in order in round 0, then strided by 5, 3 and 7.
constexpr int Md5Word(int step)
{
    const int i = step % 16;
    switch (step / 16) {
    case 0:
        return i;
    case 1:
        return (5 * i + 1) % 16;
    case 2:
        return (3 * i + 5) % 16;
    default:
        return (7 * i) % 16;
    }
}

// The rounds' functions as truth tables of (b, c, d), for a ternary-logic instruction: each
// is the function applied to the columns b = 0xF0, c = 0xCC, d = 0xAA.
constexpr int kB = 0xF0, kC = 0xCC, kD = 0xAA;
constexpr int kMd5Tables[4] = {
    (kB & kC) | (~kB & kD),   // F
    (kC & ~kD) | (kB & kD),   // G
    kB ^ kC ^ kD,             // H
    (kC ^ (kB | ~kD)) & 0xFF, // I
};
// The table as a type's constant: an unoptimised build folds no array element into the
// immediate operand that the instruction needs.
template <int Round>
using Md5Table = std::integral_constant<int, kMd5Tables[Round]>;

// Step `Step` on the lanes' states x (a, b, c, d rotate through x's four places, so that no
// value moves between steps).
template <typename Ops, int Step>
inline void Md5Step(typename Ops::V (&x)[4], const typename Ops::V (&w)[16], const std::uint32_t* constants)
{
    constexpr int a = (64 - Step) % 4, b = (a + 1) % 4, c = (a + 2) % 4, d = (a + 3) % 4;
    // a + K + w does not wait for the step before; only the mix of b, c, d does. Compilers
    // would regroup the sum so that the mix waits for one more addition, hence Opaque.
    const typename Ops::V early =
        Ops::Opaque(Ops::Add(x[a], Ops::Add(Ops::Constant(constants[Step]), w[Md5Word(Step)])));
    const typename Ops::V sum = Ops::Add(early, Ops::template Mix<Step / 16>(x[b], x[c], x[d]));
    x[a] = Ops::Add(x[b], Ops::template RotateLeft<kMd5Rotations[Step / 16][Step % 4]>(sum));
}

template <typename Ops, int... Steps>
inline void Md5Steps(typename Ops::V (&x)[4], const typename Ops::V (&w)[16],
                     std::integer_sequence<int, Steps...>)
{
    // Read from memory, where they serve as operands as they are, rather than built into
    // registers from immediates one instruction after another.
    const std::uint32_t* constants = Ops::Opaque(kMd5Constants);
    (Md5Step<Ops, Steps>(x, w, constants), ...);
}

// One 64-byte block in every lane: state[k][l] is word k of lane l's state. Everything it
// calls is inlined: the compilers' limits otherwise leave the steps of wide Ops as calls.
template <typename Ops>
__attribute__((flatten)) inline void Md5Compress(std::uint32_t (&state)[4][Ops::kLanes],
                                                 const unsigned char* const* blocks)
{
    using V = typename Ops::V;
    V w[16];
    Ops::Transpose(blocks, w);
    const V before[4] = {Ops::Load(state[0]), Ops::Load(state[1]), Ops::Load(state[2]), Ops::Load(state[3])};
    V x[4] = {before[0], before[1], before[2], before[3]};
    Md5Steps<Ops>(x, w, std::make_integer_sequence<int, 64>());
    for (int k = 0; k < 4; ++k)
        Ops::Store(state[k], Ops::Add(x[k], before[k]));
}

// Ops's lanes twice over, in two registers whose steps interleave: one chain of dependent
// steps alone leaves the processor's vector units waiting.
template <typename Ops>
struct Twice {
    struct V {
        typename Ops::V half[2];
    };
    static constexpr std::size_t kLanes = 2 * Ops::kLanes;

    static V Load(const std::uint32_t* words) { return {{Ops::Load(words), Ops::Load(words + Ops::kLanes)}}; }
    static void Store(std::uint32_t* words, V v)
    {
        Ops::Store(words, v.half[0]);
        Ops::Store(words + Ops::kLanes, v.half[1]);
    }
    static V Add(V a, V b) { return {{Ops::Add(a.half[0], b.half[0]), Ops::Add(a.half[1], b.half[1])}}; }
    static V Constant(std::uint32_t k) { return {{Ops::Constant(k), Ops::Constant(k)}}; }
    static V Opaque(V v) { return {{Ops::Opaque(v.half[0]), Ops::Opaque(v.half[1])}}; }
    static const std::uint32_t* Opaque(const std::uint32_t* p) { return Ops::Opaque(p); }
    template <int S>
    static V RotateLeft(V v)
    {
        return {{Ops::template RotateLeft<S>(v.half[0]), Ops::template RotateLeft<S>(v.half[1])}};
    }
    template <int Round>
    static V Mix(V b, V c, V d)
    {
        return {{Ops::template Mix<Round>(b.half[0], c.half[0], d.half[0]),
                 Ops::template Mix<Round>(b.half[1], c.half[1], d.half[1])}};
    }
    static void Transpose(const unsigned char* const* blocks, V (&w)[16])
    {
        typename Ops::V low[16], high[16];
        Ops::Transpose(blocks, low);
        Ops::Transpose(blocks + Ops::kLanes, high);
        for (int j = 0; j < 16; ++j)
            w[j] = {{low[j], high[j]}};
    }
};

// The last bytes of a message of `length` bytes (those after its whole blocks, at `rest`),
// padded as MD5 wants: 0x80, zeros, and the length in bits as 64 bits, little-endian, at
// the end of the first or second block. Returns the number of blocks, 1 or 2.
inline std::uint32_t Md5Tail(const unsigned char* rest, std::uint32_t length, unsigned char (&tail)[128])
{
    const std::uint32_t partial = length % 64;
    const std::uint32_t blocks = partial < 56 ? 1 : 2;
    std::memset(tail, 0, sizeof tail); // of a fixed size, so no call
    if (partial > 0)
        std::memcpy(tail, rest, partial);
    tail[partial] = 0x80;
    const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
    for (int i = 0; i < 8; ++i)
        tail[64 * blocks - 8 + i] = static_cast<unsigned char>(bits >> (8 * i));
    return blocks;
}

// Md5Many on Ops's lanes. Each lane takes the next message as soon as it is done with one,
// and runs its whole blocks in place, then its tail from a buffer of its own. Between
// events (a lane reaching its tail or its end) the lanes only step their pointers, so
// batches of equal lengths, the common case, pay almost nothing for the scheduling. Lanes
// without a message hash zeros and are ignored.
template <typename Ops>
void Md5Lanes(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
              _md5_hash* out)
{
    constexpr std::size_t kLanes = Ops::kLanes;
    static constexpr unsigned char kIdle[64] = {};

    std::uint32_t state[4][kLanes];
    unsigned char tails[kLanes][128];
    const unsigned char* blocks[kLanes]; // each lane's next block
    std::size_t stride[kLanes];          // 64, or 0 for an idle lane
    std::uint32_t left[kLanes];          // blocks before the lane's next event
    std::uint32_t tailBlocks[kLanes];
    bool inTail[kLanes];
    std::size_t message[kLanes]; // count when idle
    std::size_t next = 0;
    std::size_t busy = 0;

    const auto start = [&](std::size_t lane) {
        if (next == count) {
            for (int k = 0; k < 4; ++k)
                state[k][lane] = 0;
            message[lane] = count;
            blocks[lane] = kIdle;
            stride[lane] = 0;
            return;
        }
        const std::size_t m = next++;
        const std::uint32_t whole = lengths[m] / 64;
        const unsigned char* rest = lengths[m] % 64 > 0 ? data[m] + std::size_t{whole} * 64 : nullptr;
        tailBlocks[lane] = Md5Tail(rest, lengths[m], tails[lane]);
        for (int k = 0; k < 4; ++k)
            state[k][lane] = kMd5Initial[k];
        message[lane] = m;
        stride[lane] = 64;
        inTail[lane] = whole == 0;
        blocks[lane] = whole > 0 ? data[m] : tails[lane];
        left[lane] = whole > 0 ? whole : tailBlocks[lane];
        ++busy;
    };
    for (std::size_t lane = 0; lane < kLanes; ++lane)
        start(lane);

    while (busy > 0) {
        std::uint32_t run = UINT32_MAX;
        for (std::size_t lane = 0; lane < kLanes; ++lane)
            if (message[lane] != count && left[lane] < run)
                run = left[lane];
        for (std::uint32_t r = 0; r < run; ++r) {
            Md5Compress<Ops>(state, blocks);
            for (std::size_t lane = 0; lane < kLanes; ++lane)
                blocks[lane] += stride[lane];
        }
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            if (message[lane] == count || (left[lane] -= run) > 0)
                continue;
            if (!inTail[lane]) {
                inTail[lane] = true;
                blocks[lane] = tails[lane];
                left[lane] = tailBlocks[lane];
                continue;
            }
            unsigned char* value = out[message[lane]].bytes;
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < 4; ++i)
                    value[4 * k + i] = static_cast<unsigned char>(state[k][lane] >> (8 * i));
            --busy;
            start(lane);
        }
    }
}

} // namespace
} // namespace Platform
} // namespace Halvorn

#endif
