// The two sums behind the rolling checksum of a block: the sum of its bytes and the sum of
// its running sums (n·x0 + (n−1)·x1 + … + 1·x(n−1)), both modulo 2^32. Computed with the
// processor's vector instructions where the build has them, plainly elsewhere; the values
// are the same either way.
#ifndef KORRIN_PLATFORM_ROLLINGSUMS_H
#define KORRIN_PLATFORM_ROLLINGSUMS_H

#include <cstdint>

namespace Halvorn {
namespace Platform {

void BlockSums(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running);
// The same without vector instructions, on every processor: BlockSums where nothing faster
// exists, and a reference for the faster ones.
void BlockSumsPortable(const unsigned char* data, std::uint32_t length, std::uint32_t& plain,
                       std::uint32_t& running);

} // namespace Platform
} // namespace Halvorn

#endif
