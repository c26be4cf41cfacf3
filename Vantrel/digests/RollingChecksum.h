// The arithmetic of the rolling checksum, defined once for Rcheck32Digest and for the engine,
// which works on plain values in its loops and inlines these.
#ifndef VANTREL_DIGESTS_ROLLINGCHECKSUM_H
#define VANTREL_DIGESTS_ROLLINGCHECKSUM_H

#include <cstdint>

namespace Halvorn {
namespace Vantrel {

// The checksum of a block from its two sums (see platform/RollingSums.h): the running sum in
// the high half, the plain sum in the low one, each modulo 65536.
inline std::uint32_t ChecksumOf(std::uint32_t plain, std::uint32_t running)
{
    return (running << 16) | (plain & 0xFFFFu);
}

// The checksum one byte further on. The window keeps `length` bytes, losing `leaving` and
// gaining `entering`; or with `shrink` it loses `leaving`, gains nothing (`entering` is then
// 0) and `length` is its new length.
inline std::uint32_t Rolled(std::uint32_t checksum, unsigned char leaving, unsigned char entering,
                            std::uint32_t length, bool shrink)
{
    // Unsigned arithmetic wraps modulo 2^32, a multiple of 65536, so masking at the end gives
    // the sums modulo 65536 whatever went below zero on the way.
    const std::uint32_t a = (checksum & 0xFFFFu) - leaving + entering;
    std::uint32_t b = checksum >> 16;
    if (shrink)
        b -= (length + 1) * static_cast<std::uint32_t>(leaving);
    else
        b += a - length * static_cast<std::uint32_t>(leaving);
    return ChecksumOf(a, b);
}

} // namespace Vantrel
} // namespace Halvorn

#endif
