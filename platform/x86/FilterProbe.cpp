// FilterProbe on x86-64: the widest lanes the processor offers, chosen once at run time,
// since the library itself is built for the baseline instruction set.
#include "platform/FilterProbe.h"
#include "platform/x86/CpuFeatures.h"

namespace Halvorn {
namespace Platform {

// In FilterProbeAvx2.cpp and FilterProbeAvx512.cpp, each built for its own instruction set.
void FilterProbeAvx2(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                     unsigned shift, std::uint64_t* maybe);
void FilterProbeAvx512(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                       unsigned shift, std::uint64_t* maybe);

namespace {

FilterProbeFunction Widest()
{
    if (HasAvx512Bw())
        return FilterProbeAvx512;
    if (HasAvx2())
        return FilterProbeAvx2;
    return FilterProbePortable;
}

} // namespace

void FilterProbe(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                 unsigned shift, std::uint64_t* maybe)
{
    static const FilterProbeFunction probe = Widest();
    probe(checksums, count, words, shift, maybe);
}

std::vector<FilterProbeVariant> FilterProbeVariants()
{
    std::vector<FilterProbeVariant> variants{{"portable", FilterProbePortable}};
    if (HasAvx2())
        variants.push_back({"avx2", FilterProbeAvx2});
    if (HasAvx512Bw())
        variants.push_back({"avx512", FilterProbeAvx512});
    return variants;
}

} // namespace Platform
} // namespace Halvorn
