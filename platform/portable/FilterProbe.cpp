#include "platform/FilterProbe.h"

namespace Halvorn {
namespace Platform {

void FilterProbePortable(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                         unsigned shift, std::uint64_t* maybe)
{
    const auto absent = [=](std::uint32_t checksum) {
        return (words[FilterWord(checksum, shift)] & FilterBits(checksum)) != 0;
    };
    for (std::uint32_t start = 0; start < count; start += 64) {
        const std::uint32_t* const chunk = checksums + start;
        const std::uint32_t n = count - start < 64 ? count - start : 64;
        std::uint64_t bits = 0;
        // Nearly every checksum is absent. Passing over them in a loop of their own leaves the
        // processor one predictable branch each; setting every checksum's bit, maybe to 0,
        // would chain each test to the one before.
        std::uint32_t i = 0;
        for (;;) {
            for (; n - i >= 4 && absent(chunk[i]) && absent(chunk[i + 1]) && absent(chunk[i + 2]) &&
                   absent(chunk[i + 3]);
                 i += 4) {}
            while (i < n && absent(chunk[i]))
                ++i;
            if (i == n)
                break;
            bits |= std::uint64_t{1} << i++;
        }
        maybe[start / 64] = bits;
    }
}

#if !KORRIN_HAS_VECTOR_PROBE
void FilterProbe(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                 unsigned shift, std::uint64_t* maybe)
{
    FilterProbePortable(checksums, count, words, shift, maybe);
}

std::vector<FilterProbeVariant> FilterProbeVariants()
{
    return {{"portable", FilterProbePortable}};
}
#endif

} // namespace Platform
} // namespace Halvorn
