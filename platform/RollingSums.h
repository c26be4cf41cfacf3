// The two sums behind the rolling checksum of a block: the sum of its bytes and the sum of
// its running sums (n·x0 + (n−1)·x1 + … + 1·x(n−1)), both modulo 2^32. Computed with the
// processor's vector instructions where the build has them (the widest the processor
// offers, chosen at run time), plainly elsewhere; the values are the same either way.
#ifndef KORRIN_PLATFORM_ROLLINGSUMS_H
#define KORRIN_PLATFORM_ROLLINGSUMS_H

#include <cstdint>
#include <vector>

namespace Halvorn {
namespace Platform {

void BlockSums(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running);
// The same without vector instructions, on every processor: BlockSums where nothing faster
// exists, and a reference for the faster ones.
void BlockSumsPortable(const unsigned char* data, std::uint32_t length, std::uint32_t& plain,
                       std::uint32_t& running);

using BlockSumsFunction = void (*)(const unsigned char*, std::uint32_t, std::uint32_t&, std::uint32_t&);
struct BlockSumsVariant {
    const char* name;
    BlockSumsFunction sums;
};
// Every version of BlockSums this processor can run, the portable one first.
std::vector<BlockSumsVariant> BlockSumsVariants();

// The checksums of `count` windows of `window` bytes, each one byte past the one before:
// window k is data[k + 1 .. k + window]. `plain` and `running` hold on entry the two sums of
// data[0 .. window - 1], the window before the first, and on return those of the last
// window; only their low 16 bits count, and only those are kept. out[k] receives window k's
// checksum, running sum in the high half and plain sum in the low one. Reads
// data[0 .. count + window - 1].
void RollChecksums(const unsigned char* data, std::uint32_t count, std::uint32_t window, std::uint32_t& plain,
                   std::uint32_t& running, std::uint32_t* out);
// The same one window after another, the reference for the faster ones.
void RollChecksumsPortable(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                           std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out);
using RollChecksumsFunction = void (*)(const unsigned char*, std::uint32_t, std::uint32_t, std::uint32_t&,
                                       std::uint32_t&, std::uint32_t*);
struct RollChecksumsVariant {
    const char* name;
    RollChecksumsFunction roll;
};
// Every version of RollChecksums this processor can run, the portable one first, so that
// tests can hold each to the same results and benchmarks compare them.
std::vector<RollChecksumsVariant> RollChecksumsVariants();

} // namespace Platform
} // namespace Halvorn

#endif
