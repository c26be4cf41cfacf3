#include "Vantrel/signature/ChecksumFilter.h"

namespace Halvorn {
namespace Vantrel {

void ChecksumFilter::Reset(std::size_t count)
{
    // A power of two of words, at least kBitsPerChecksum bits per checksum; 64 words at least.
    unsigned log2Words = 6;
    while ((std::size_t{1} << log2Words) * 64 < count * kBitsPerChecksum && log2Words < 32)
        ++log2Words;
    words_.assign(std::size_t{1} << log2Words, ~std::uint64_t{0});
    shift_ = 32 - log2Words;
    count_ = 0;
}

} // namespace Vantrel
} // namespace Halvorn
