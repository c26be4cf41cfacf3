#include <Vantrel/Rcheck32Digest.h>

#include "Vantrel/digests/RollingChecksum.h"
#include "platform/RollingSums.h"

namespace Halvorn {
namespace Vantrel {

Rcheck32Digest::~Rcheck32Digest() = default;

int Rcheck32Digest::Start(const unsigned char* data, std::uint32_t length)
{
    if (finished_)
        return RESULT_FAILED;
    // Both sums only matter modulo 65536, so sums modulo 2^32 lose nothing.
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    Platform::BlockSums(data, length, a, b);
    running_ = ChecksumOf(a, b);
    return RESULT_OK;
}

int Rcheck32Digest::Rolling(unsigned char leaving, unsigned char entering, std::uint32_t length, bool shrink)
{
    if (finished_)
        return RESULT_FAILED;
    running_ = Rolled(running_, leaving, entering, length, shrink);
    return RESULT_OK;
}

bool Rcheck32Digest::operator<(const Rcheck32Digest& other) const
{
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t mine = (digest_ >> shift) & 0xFFu;
        const std::uint32_t theirs = (other.digest_ >> shift) & 0xFFu;
        if (mine != theirs)
            return mine > theirs;
    }
    return false;
}

} // namespace Vantrel
} // namespace Halvorn
