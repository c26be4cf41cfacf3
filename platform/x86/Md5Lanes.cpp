// Md5Many on x86-64: for each count of messages the version that takes least time for one
// call on the processor at hand, chosen once at run time, since the library itself is built
// for the baseline instruction set.
#include "platform/Md5Lanes.h"

#include <cstdint>

namespace Halvorn {
namespace Platform {

// In Md5LanesScalar.cpp, Md5LanesAvx2.cpp, Md5LanesAvx512Vl.cpp and Md5LanesAvx512.cpp,
// each built for its own instruction set; the number is the lanes.
bool Md5Many1Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out);
bool Md5Many2Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out);
bool Md5Many3Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out);
bool Md5Many4Scalar(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                    _md5_hash* out);
bool Md5Many8Avx2(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                  _md5_hash* out);
bool Md5Many16Avx2(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                   _md5_hash* out);
bool Md5Many4Avx512Vl(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                      _md5_hash* out);
bool Md5Many8Avx512Vl(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                      _md5_hash* out);
bool Md5Many16Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out);
bool Md5Many32Avx512(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out);

namespace {

// From 1 message up to `upTo`, `hash`; the last of a list takes any count.
struct Cut {
    std::size_t upTo;
    Md5ManyFunction hash;
};

constexpr std::size_t kAny = SIZE_MAX;

// Where a processor's vector integer operations are slower than its general registers' (as
// on AMD's with AVX-512VL), a few messages go quicker side by side in general registers,
// whose integer units run three nearly as fast as one. Up to sixteen, zmm and narrower
// registers take the same time, the narrow ones saving the idle lanes' work; for more, two
// zmm registers side by side are the quickest. bench/Md5LanesBench.cpp compares the
// versions count by count, for moving a cut.
constexpr Cut kAvx512[] = {{1, Md5Many1Scalar},    {2, Md5Many2Scalar},   {3, Md5Many3Scalar},
                           {4, Md5Many4Avx512Vl},  {8, Md5Many8Avx512Vl}, {16, Md5Many16Avx512},
                           {kAny, Md5Many32Avx512}};
// AVX2 has neither rotation nor ternary logic, so its steps are slower than AVX-512's and
// four messages in general registers still beat them; its two registers side by side take
// no longer than one.
constexpr Cut kAvx2[] = {{1, Md5Many1Scalar}, {2, Md5Many2Scalar}, {3, Md5Many3Scalar},
                         {4, Md5Many4Scalar}, {8, Md5Many8Avx2},   {kAny, Md5Many16Avx2}};
// Without vector registers, four messages at a time in general registers still beat the
// hashing layer's stream, one after another.
constexpr Cut kBaseline[] = {
    {1, Md5Many1Scalar}, {2, Md5Many2Scalar}, {3, Md5Many3Scalar}, {kAny, Md5Many4Scalar}};

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

bool HasAvx512Vl()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
}

const Cut* Cuts()
{
    if (HasAvx512Vl())
        return kAvx512;
    if (HasAvx2())
        return kAvx2;
    return kBaseline;
}

} // namespace

bool Md5Many(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
             _md5_hash* out)
{
    static const Cut* const cuts = Cuts();
    const Cut* cut = cuts;
    while (count > cut->upTo)
        ++cut;
    return cut->hash(data, lengths, count, out);
}

std::vector<Md5ManyVariant> Md5ManyVariants()
{
    std::vector<Md5ManyVariant> variants{{"portable", Md5ManyPortable},
                                         {"scalar-1", Md5Many1Scalar},
                                         {"scalar-2", Md5Many2Scalar},
                                         {"scalar-3", Md5Many3Scalar},
                                         {"scalar-4", Md5Many4Scalar}};
    if (HasAvx2()) {
        variants.push_back({"avx2-8", Md5Many8Avx2});
        variants.push_back({"avx2-16", Md5Many16Avx2});
    }
    if (HasAvx512Vl()) {
        variants.push_back({"avx512vl-4", Md5Many4Avx512Vl});
        variants.push_back({"avx512vl-8", Md5Many8Avx512Vl});
    }
    if (HasAvx512()) {
        variants.push_back({"avx512-16", Md5Many16Avx512});
        variants.push_back({"avx512-32", Md5Many32Avx512});
    }
    return variants;
}

} // namespace Platform
} // namespace Halvorn
