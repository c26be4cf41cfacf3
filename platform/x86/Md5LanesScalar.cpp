// Md5Many in general registers, one to four messages whose steps interleave. A step's
// chain of dependent operations is shorter here than in vector registers (one cycle each,
// against two on some processors, and a rotation without a shift pair), so one message
// beats a vector lane; the processor's several integer units run the other messages' steps
// in the waits. Unlike the hashing layer's stream, a call makes no context. Built for the
// baseline instruction set.
#include "platform/Md5Lanes.h"
#include "platform/portable/Md5LanesCore.h"

namespace Halvorn {
namespace Platform {

namespace {

// N messages, one 32-bit "lane" each, as an Ops of Md5LanesCore.h.
template <std::size_t N>
struct Streams {
    struct V {
        std::uint32_t s[N];
    };
    static constexpr std::size_t kLanes = N;

    template <typename F>
    static V Each(F f)
    {
        V r;
        for (std::size_t i = 0; i < N; ++i)
            r.s[i] = f(i);
        return r;
    }
    static V Load(const std::uint32_t* words)
    {
        return Each([&](std::size_t i) { return words[i]; });
    }
    static void Store(std::uint32_t* words, V v)
    {
        for (std::size_t i = 0; i < N; ++i)
            words[i] = v.s[i];
    }
    static V Add(V a, V b)
    {
        return Each([&](std::size_t i) { return a.s[i] + b.s[i]; });
    }
    static V Constant(std::uint32_t k)
    {
        return Each([&](std::size_t) { return k; });
    }
    static V Opaque(V v)
    {
        for (std::size_t i = 0; i < N; ++i)
            __asm__("" : "+r"(v.s[i]));
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
        return Each([&](std::size_t i) { return v.s[i] << S | v.s[i] >> (32 - S); });
    }
    template <int Round>
    static V Mix(V b, V c, V d)
    {
        return Each([&](std::size_t i) {
            if constexpr (Round == 0)
                return d.s[i] ^ (b.s[i] & (c.s[i] ^ d.s[i]));
            else if constexpr (Round == 1)
                return (c.s[i] & ~d.s[i]) + (b.s[i] & d.s[i]);
            else if constexpr (Round == 2)
                return b.s[i] ^ c.s[i] ^ d.s[i];
            else
                return c.s[i] ^ (b.s[i] | ~d.s[i]);
        });
    }
    // x86 is little-endian: the block's bytes are its words.
    static void Transpose(const unsigned char* const* blocks, V (&w)[16])
    {
        for (std::size_t i = 0; i < N; ++i) {
            std::uint32_t words[16];
            std::memcpy(words, blocks[i], 64);
            for (int j = 0; j < 16; ++j)
                w[j].s[i] = words[j];
        }
    }
};

} // namespace

bool Md5Many1Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out)
{
    Md5Lanes<Streams<1>>(data, lengths, count, out);
    return true;
}

bool Md5Many2Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out)
{
    Md5Lanes<Streams<2>>(data, lengths, count, out);
    return true;
}

bool Md5Many3Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out)
{
    Md5Lanes<Streams<3>>(data, lengths, count, out);
    return true;
}

bool Md5Many4Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out)
{
    Md5Lanes<Streams<4>>(data, lengths, count, out);
    return true;
}

} // namespace Platform
} // namespace Halvorn
