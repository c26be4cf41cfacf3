// An exact index from a checksum to its groups in the store's ordered table, so that a
// lookup costs constant time whatever the size of the signature, where a walk down the
// table would cost a cache miss per level: open addressing with linear probing, at most half
// full, in 8-byte slots. The groups are referred to by address: table nodes never move.
#ifndef VANTREL_SIGNATURE_CHECKSUMINDEX_H
#define VANTREL_SIGNATURE_CHECKSUMINDEX_H

#include <cstdint>
#include <vector>

#include <Vantrel/DigestEntry.h>

namespace Halvorn {
namespace Vantrel {

class ChecksumIndex {
public:
    using Groups = std::vector<DigestEntry>;

    ChecksumIndex() { Clear(); }

    void Clear();
    // Makes room for `count` checksums in all, so that Insert cannot run out of memory.
    void Reserve(std::size_t count);
    // Adds a checksum that is not in the index yet; Reserve must have made room for it.
    void Insert(std::uint32_t checksum, const Groups* groups);

    // The groups of `checksum`, or null when no block has it.
    const Groups* Find(std::uint32_t checksum) const
    {
        const std::size_t last = slots_.size() - 1;
        for (std::size_t i = Home(checksum);; i = (i + 1) & last) {
            const std::uint64_t slot = slots_[i];
            if (slot == 0)
                return nullptr;
            if (static_cast<std::uint32_t>(slot) == checksum)
                return groups_[static_cast<std::size_t>(slot >> 32) - 1];
        }
    }

private:
    std::size_t Home(std::uint32_t checksum) const
    {
        return static_cast<std::size_t>((checksum * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    void Place(std::uint64_t slot);

    std::vector<std::uint64_t> slots_; // (position in groups_ + 1) << 32 | checksum; 0 is empty
    std::vector<const Groups*> groups_;
    unsigned shift_; // 64 - log2(number of slots)
};

} // namespace Vantrel
} // namespace Halvorn

#endif
