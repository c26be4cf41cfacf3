// Md5Many on x86-64: the widest lanes the processor offers, chosen once at run time, since
// the library itself is built for the baseline instruction set.
#include "platform/Md5Lanes.h"

namespace Halvorn {
namespace Platform {

// In Md5LanesAvx2.cpp and Md5LanesAvx512.cpp, each built for its own instruction set; the
// number is the lanes.
bool Md5Many16Avx2(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                   _md5_hash* out);
bool Md5Many16Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out);
bool Md5Many32Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out);

namespace {

// The lanes for up to 16 messages and for more, and from how many messages they beat one
// stream after another (measured by bench/Md5LanesBench.cpp): a lane's steps wait on each
// other, so a single message is slower in a lane than alone.
struct Lanes {
    std::size_t from; // 0 without vector lanes
    Md5ManyFunction upTo16;
    Md5ManyFunction beyond16;
};

// The compilers' detection also asks whether the system saves the wide registers.
bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

bool HasAvx512()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}

Lanes Widest()
{
    if (HasAvx512())
        return {2, Md5Many16Avx512, Md5Many32Avx512};
    if (HasAvx2())
        return {3, Md5Many16Avx2, Md5Many16Avx2};
    return {0, nullptr, nullptr};
}

} // namespace

bool Md5Many(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
             _md5_hash* out)
{
    static const Lanes lanes = Widest();
    if (lanes.from == 0 || count < lanes.from)
        return Md5ManyPortable(data, lengths, count, out);
    return (count <= 16 ? lanes.upTo16 : lanes.beyond16)(data, lengths, count, out);
}

std::vector<Md5ManyVariant> Md5ManyVariants()
{
    std::vector<Md5ManyVariant> variants{{"portable", Md5ManyPortable}};
    if (HasAvx2())
        variants.push_back({"avx2-16", Md5Many16Avx2});
    if (HasAvx512()) {
        variants.push_back({"avx512-16", Md5Many16Avx512});
        variants.push_back({"avx512-32", Md5Many32Avx512});
    }
    return variants;
}

} // namespace Platform
} // namespace Halvorn
