// A blocked Bloom filter: one 64-bit word per lookup, four bits of it per checksum. Sixteen
// bits per checksum keep false answers near one in two hundred (each costs one index probe)
// while the filter stays small enough for the processor's caches.
//
// The word is picked by one 32-bit multiplication by the golden ratio, whose upper bits
// spread the checksum. The four bits come from two small tables, two bits in each half of
// the word, picked by two bytes of the checksum, its two sums' low bytes: two loads instead
// of four variable shifts, the difference that counts when every byte position of a file
// asks. Those bytes vary with the checksum as freely as the bits of a hash, and the word is
// picked by a hash of the whole checksum, so the checksums sharing a word are unrelated to
// the bits one of them asks for. The words are stored inverted (a checksum clears its bits),
// so that the test is whether the word and the bits share nothing, which the processor
// answers in one instruction.
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
