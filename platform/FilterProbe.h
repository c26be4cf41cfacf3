// The layout of the checksum filter (Vantrel/signature/ChecksumFilter.h, which says why it
// is so), and the test of many checksums against it at once, the delta generator's step
// at nearly every byte position of a new file. Where the processor has AVX-512 or AVX2, 16
// or 8 checksums go through its vector lanes at once and their words are gathered; elsewhere
// they go one by one. The answers are the same either way.
//
// The filter is 2^(32 - shift) 64-bit words, stored inverted. A checksum c asks word
// (c * 0x9E3779B1 mod 2^32) >> shift for four bits, two in each half: in the low half, for
// the value v of c's byte 0, bit v & 31 and the bit 1 + 4 * (v >> 5) places above it, counted
// round the half; in the high half the same for c's byte 2. It may be present when the word
// has all four clear.
#ifndef KORRIN_PLATFORM_FILTERPROBE_H
#define KORRIN_PLATFORM_FILTERPROBE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Halvorn {
namespace Platform {

constexpr std::uint32_t kFilterMultiplier = 0x9E3779B1u;

// The bits a checksum asks for, by the value of one of its bytes: byte 0 at 0..255, byte 2
// at 256..511.
struct FilterBitTable {
    std::uint64_t bits[512];
};

constexpr FilterBitTable MakeFilterBitTable()
{
    FilterBitTable table{};
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned first = i & 31;
        const unsigned second = (first + 1 + 4 * (i >> 5)) & 31;
        const std::uint64_t low = (std::uint64_t{1} << first) | (std::uint64_t{1} << second);
        table.bits[i] = low;
        table.bits[256 + i] = low << 32;
    }
    return table;
}

// Two loads from a table beat four variable shifts when one checksum is tested at a time.
constexpr FilterBitTable kFilterBitTable = MakeFilterBitTable();

inline std::size_t FilterWord(std::uint32_t checksum, unsigned shift)
{
    return static_cast<std::size_t>(static_cast<std::uint32_t>(checksum * kFilterMultiplier) >> shift);
}

inline std::uint64_t FilterBits(std::uint32_t checksum)
{
    return kFilterBitTable.bits[checksum & 0xFF] | kFilterBitTable.bits[256 + ((checksum >> 16) & 0xFF)];
}

// Tests checksums[0 .. count - 1] against the filter `words` of 2^(32 - shift) words:
// bit i % 64 of maybe[i / 64] says whether checksums[i] may be present. Writes
// (count + 63) / 64 words, whose bits past count are clear. Allocates nothing.
void FilterProbe(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                 unsigned shift, std::uint64_t* maybe);
// The same one checksum after another, on every processor: FilterProbe where nothing faster
// exists, and the reference for the faster ones.
void FilterProbePortable(const std::uint32_t* checksums, std::uint32_t count, const std::uint64_t* words,
                         unsigned shift, std::uint64_t* maybe);

using FilterProbeFunction = void (*)(const std::uint32_t*, std::uint32_t, const std::uint64_t*, unsigned,
                                     std::uint64_t*);
struct FilterProbeVariant {
    const char* name;
    FilterProbeFunction probe;
};
// Every version of FilterProbe this processor can run, the portable one first, so that tests
// can hold each to the same answers and benchmarks compare them.
std::vector<FilterProbeVariant> FilterProbeVariants();

// The position of the lowest set bit of a word that is not 0: how the users of FilterProbe
// find its answers.
inline unsigned LowestSetBit(std::uint64_t word)
{
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_ctzll(word));
#else
    unsigned position = 0;
    for (; (word & 1) == 0; word >>= 1)
        ++position;
    return position;
#endif
}

} // namespace Platform
} // namespace Halvorn

#endif
