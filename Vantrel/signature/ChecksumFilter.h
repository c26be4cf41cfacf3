// A set of 32-bit checksums that answers "certainly absent" in constant time and in little
// memory: a blocked Bloom filter, one 64-bit word per lookup with four bits set in it per
// checksum, so that the answer for a checksum no block has, the common case, is a single
// predictable test. "Maybe present" answers go on to the exact index; the owner resizes the
// filter as its table grows to keep 16 bits per checksum, which keeps false ones well under
// one in a hundred while the filter stays small enough for the processor's caches.
#ifndef VANTREL_SIGNATURE_CHECKSUMFILTER_H
#define VANTREL_SIGNATURE_CHECKSUMFILTER_H

#include <cstdint>
#include <vector>

namespace Halvorn {
namespace Vantrel {

class ChecksumFilter {
public:
    static constexpr std::size_t kBitsPerChecksum = 16;

    ChecksumFilter() { Reset(0); }

    // Empties the filter and sizes it for `count` checksums.
    void Reset(std::size_t count);
    // True when the next Add would leave fewer than 16 bits per checksum.
    bool Full() const { return (count_ + 1) * kBitsPerChecksum > words_.size() * 64; }
    void Add(std::uint32_t checksum)
    {
        const std::uint64_t hash = Mix(checksum);
        words_[static_cast<std::size_t>(hash >> shift_)] |= MaskOf(hash);
        ++count_;
    }
    bool MayContain(std::uint32_t checksum) const
    {
        const std::uint64_t hash = Hash(checksum);
        return Passes(hash, Word(hash));
    }

    // MayContain in steps, so that a caller can have the memory reads of many checksums
    // under way before it needs the first answer: Hash, then Word reads, Passes tests.
    static std::uint64_t Hash(std::uint32_t checksum) { return Mix(checksum); }
    std::uint64_t Word(std::uint64_t hash) const { return words_[static_cast<std::size_t>(hash >> shift_)]; }
    static bool Passes(std::uint64_t hash, std::uint64_t word)
    {
        const std::uint64_t mask = MaskOf(hash);
        return (word & mask) == mask;
    }

private:
    // One multiplication spreads a 32-bit checksum over the upper bits of the product; the
    // word index takes the top bits and the bit positions the ones below.
    static std::uint64_t Mix(std::uint32_t checksum) { return checksum * 0x9E3779B97F4A7C15ull; }
    // Bit positions from the middle of the product, whose bits depend on most of the checksum's.
    static std::uint64_t MaskOf(std::uint64_t hash)
    {
        return (1ull << ((hash >> 20) & 63)) | (1ull << ((hash >> 26) & 63)) | (1ull << ((hash >> 32) & 63)) |
               (1ull << ((hash >> 38) & 63));
    }

    std::vector<std::uint64_t> words_;
    unsigned shift_; // 64 - log2(number of words)
    std::size_t count_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
