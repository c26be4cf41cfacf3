// A set of 32-bit checksums that answers "certainly absent" in constant time and in little
// memory: a blocked Bloom filter, one 64-bit word per lookup with four bits set in it per
// checksum, so that the answer for a checksum no block has, the common case, is a single
// predictable test. "Maybe present" answers go on to the exact index; the owner resizes the
// filter as its table grows to keep 32 bits per checksum, which keeps them near one in two
// thousand.
#ifndef VANTREL_SIGNATURE_CHECKSUMFILTER_H
#define VANTREL_SIGNATURE_CHECKSUMFILTER_H

#include <cstdint>
#include <vector>

namespace Halvorn {
namespace Vantrel {

class ChecksumFilter {
public:
    static constexpr std::size_t kBitsPerChecksum = 32;

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
    bool MayContain(std::uint32_t checksum) const { return Passes(checksum, Word(checksum)); }

    // MayContain in two steps, so that a caller can have the memory reads of many checksums
    // under way before it needs the first answer: Word reads, Passes tests.
    std::uint64_t Word(std::uint32_t checksum) const
    {
        return words_[static_cast<std::size_t>(Mix(checksum) >> shift_)];
    }
    static bool Passes(std::uint32_t checksum, std::uint64_t word)
    {
        const std::uint64_t mask = MaskOf(Mix(checksum));
        return (word & mask) == mask;
    }

private:
    static std::uint64_t Mix(std::uint32_t checksum)
    {
        std::uint64_t h = (checksum + 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
        return h * 0x94D049BB133111EBull;
    }
    // Bit positions from the middle of the hash; the word index takes its top bits.
    static std::uint64_t MaskOf(std::uint64_t hash)
    {
        return (1ull << ((hash >> 8) & 63)) | (1ull << ((hash >> 14) & 63)) | (1ull << ((hash >> 20) & 63)) |
               (1ull << ((hash >> 26) & 63));
    }

    std::vector<std::uint64_t> words_;
    unsigned shift_;  // 64 - log2(number of words)
    std::size_t count_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
