// A set of 32-bit checksums that answers "certainly absent" in constant time and in little
// memory, so that a checksum no block has, the common case, costs a single predictable test;
// "maybe present" answers go on to the exact index. The owner resizes the filter as its table
// grows (Full), to keep kBitsPerChecksum bits per checksum. The layout is defined beside the
// vector test of many checksums at once (platform/FilterProbe.h), which the delta generator
// uses for runs of positions.
#ifndef VANTREL_SIGNATURE_CHECKSUMFILTER_H
#define VANTREL_SIGNATURE_CHECKSUMFILTER_H

#include <cstdint>
#include <vector>

#include "platform/FilterProbe.h"

namespace Halvorn {
namespace Vantrel {

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
    // MayContain for checksums[0 .. count - 1]: bit i % 64 of maybe[i / 64] for checksums[i],
    // (count + 63) / 64 words.
    void MayContainEach(const std::uint32_t* checksums, std::uint32_t count, std::uint64_t* maybe) const
    {
        Platform::FilterProbe(checksums, count, words_.data(), shift_, maybe);
    }
    // The words and the shift that the platform's probes read.
    const std::uint64_t* Words() const { return words_.data(); }
    unsigned Shift() const { return shift_; }

private:
    // The word: the upper bits of the checksum times the golden ratio.
    std::size_t WordIndex(std::uint32_t checksum) const { return Platform::FilterWord(checksum, shift_); }
    // The bits within the word, from the checksum's own bytes.
    static std::uint64_t MaskOf(std::uint32_t checksum) { return Platform::FilterBits(checksum); }

    std::vector<std::uint64_t> words_; // inverted: a clear bit is a bit some checksum set
    unsigned shift_;                   // 32 - log2(number of words)
    std::size_t count_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
