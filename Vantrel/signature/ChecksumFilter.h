// A set of 32-bit checksums that answers "certainly absent" in constant time and in little
// memory: a blocked Bloom filter, one 64-bit word per lookup with four bits of it per
// checksum, so that the answer for a checksum no block has, the common case, is a single
// predictable test. "Maybe present" answers go on to the exact index; the owner resizes the
// filter as its table grows to keep 16 bits per checksum, which keeps false ones near one in
// two hundred (each costs one index probe) while the filter stays small enough for the
// processor's caches: with 32 bits, a large signature's misses slowed by a third, waiting on
// memory, for a delta generation no faster.
//
// The four bits come from two small tables, two bits in each half of the word, picked by two
// bytes of the checksum: two loads instead of four variable shifts, the difference
// that counts when every byte position of a file asks. The words are stored inverted (a
// checksum clears its bits), so that the test is whether the word and the bits share
// nothing, which the processor answers in one instruction.
#ifndef VANTREL_SIGNATURE_CHECKSUMFILTER_H
#define VANTREL_SIGNATURE_CHECKSUMFILTER_H

#include <cstdint>
#include <vector>

namespace Halvorn {
namespace Vantrel {

// The bits a checksum sets in its word: by the value of one byte of it, two in the word's
// low half, and by another byte, at 256 on, two in its high half.
struct FilterMasks {
    std::uint64_t bits[512];
};

// Two different bits of a half for each byte value: the low five bits of the byte pick the
// first, the top three its distance to the second.
constexpr FilterMasks MakeFilterMasks()
{
    FilterMasks masks{};
    for (unsigned i = 0; i < 256; ++i) {
        const unsigned first = i & 31;
        const unsigned second = (first + 1 + 4 * (i >> 5)) & 31;
        const std::uint64_t low = (std::uint64_t{1} << first) | (std::uint64_t{1} << second);
        masks.bits[i] = low;
        masks.bits[256 + i] = low << 32;
    }
    return masks;
}

class ChecksumFilter {
public:
    static constexpr std::size_t kBitsPerChecksum = 16;

    ChecksumFilter() { Reset(0); }

    // Empties the filter and sizes it for `count` checksums.
    void Reset(std::size_t count);
    // True when the next Add would leave fewer than kBitsPerChecksum bits per checksum.
    bool Full() const { return (count_ + 1) * kBitsPerChecksum > words_.size() * 64; }
    void Add(std::uint32_t checksum) { words_[WordIndex(checksum)] &= ~MaskOf(checksum); ++count_; }
    // Whether the checksum may have been added; false means it surely was not.
    bool MayContain(std::uint32_t checksum) const { return (words_[WordIndex(checksum)] & MaskOf(checksum)) == 0; }

private:
    static constexpr FilterMasks kMasks = MakeFilterMasks();

    // One 32-bit multiplication by the golden ratio spreads the checksum over the upper bits
    // of the product, which pick the word.
    std::size_t WordIndex(std::uint32_t checksum) const
    {
        return static_cast<std::size_t>(static_cast<std::uint32_t>(checksum * 0x9E3779B1u) >> shift_);
    }
    // The bits within the word come from the checksum's own bytes, its two sums' low bytes,
    // which need no arithmetic to pick out. They vary with the checksum as freely as the
    // bits of a hash, and the word is picked by a hash of the whole checksum, so that the
    // checksums sharing a word are unrelated to the bits one of them asks for.
    static std::uint64_t MaskOf(std::uint32_t checksum)
    {
        return kMasks.bits[checksum & 0xFF] | kMasks.bits[256 + ((checksum >> 16) & 0xFF)];
    }

    std::vector<std::uint64_t> words_; // inverted: a clear bit is a bit some checksum set
    unsigned shift_;                   // 32 - log2(number of words)
    std::size_t count_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
