// The rolling checksum one byte further on: the one definition behind Rcheck32Digest::Rolling
// and the delta generator's loop, which rolls plain values and inlines this.
#ifndef VANTREL_DIGESTS_ROLLINGSTEP_H
#define VANTREL_DIGESTS_ROLLINGSTEP_H

#include <cstdint>

namespace Halvorn {
namespace Vantrel {

// The window keeps `length` bytes, losing `leaving` and gaining `entering`; or with `shrink`
// it loses `leaving`, gains nothing (`entering` is then 0) and `length` is its new length.
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
    return (b << 16) | (a & 0xFFFFu);
}

} // namespace Vantrel
} // namespace Halvorn

#endif
