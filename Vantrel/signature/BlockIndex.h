// The lookups of a signature's blocks, made once from the blocks as written: whether any
// block has a checksum, and which block first had a checksum and an MD5 value. Both cost
// constant time however many blocks there are, and however many of them share a checksum,
// in about 13 bytes a block beside the blocks themselves. Read only once made, so any number
// of threads may use it at once.
#ifndef VANTREL_SIGNATURE_BLOCKINDEX_H
#define VANTREL_SIGNATURE_BLOCKINDEX_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "Vantrel/signature/BlockRecords.h"
#include "Vantrel/signature/ChecksumFilter.h"
#include "platform/Prefetch.h"

namespace Halvorn {
namespace Vantrel {

class BlockIndex {
public:
    // Indexes the first `count` blocks of `records`, which must outlive the index and keep
    // those blocks. Throws std::bad_alloc.
    BlockIndex(const BlockRecords& records, std::size_t count);

    std::size_t Blocks() const { return blocks_; }
    // Groups of blocks with one checksum and one MD5 value.
    std::uint64_t Groups() const { return groups_; }

    // False means no block has the checksum; true, that one may have.
    bool Possible(std::uint32_t checksum) const { return filter_.MayContain(checksum); }
    // Possible for checksums[0 .. count - 1] at once: bit i % 64 of maybe[i / 64] for
    // checksums[i].
    void PossibleEach(const std::uint32_t* checksums, std::uint32_t count, std::uint64_t* maybe) const
    {
        filter_.MayContainEach(checksums, count, maybe);
    }
    // Whether a block has the checksum.
    bool Indexed(std::uint32_t checksum) const { return Slot(checksum) != nullptr; }
    // Starts the reads of Indexed(checksum), for a caller that asks it later: the cache line
    // of its home slot and the next two, where the search for an absent checksum, about
    // eight slots long at three quarters full, mostly ends.
    void PrepareIndexed(std::uint32_t checksum) const
    {
        const std::size_t home = Home(checksum);
        const std::size_t last = slots_.size() - 1;
        Platform::Prefetch(slots_.data() + home);
        Platform::Prefetch(slots_.data() + (last - home > 8 ? home + 8 : last));
        Platform::Prefetch(slots_.data() + (last - home > 16 ? home + 16 : last));
    }
    // The position of the first block with both values, or -1.
    std::int64_t Find(std::uint32_t checksum, const _md5_hash& md5) const;
    // The index of that block; false when there is none.
    bool FindBlock(std::uint32_t checksum, const _md5_hash& md5, std::uint32_t& blockIndex) const
    {
        const std::int64_t position = Find(checksum, md5);
        if (position < 0)
            return false;
        blockIndex = records_[static_cast<std::size_t>(position)].index;
        return true;
    }

private:
    static constexpr std::uint32_t kShared = 0x80000000u; // a slot value naming a run

    struct Run {
        std::uint32_t start; // in shared_
        std::uint32_t count;
    };

    std::size_t Home(std::uint32_t checksum) const
    {
        // The multiplication spreads the checksum over the high bits, which pick the slot.
        return static_cast<std::size_t>((std::uint64_t{checksum * 0x9E3779B1u} * slots_.size()) >> 32);
    }
    // The slot holding `checksum`, or null.
    const std::uint64_t* Slot(std::uint32_t checksum) const
    {
        const std::uint64_t* slot = slots_.data() + Home(checksum);
        const std::uint64_t* const end = slots_.data() + slots_.size();
        for (;;) {
            if (*slot == 0)
                return nullptr;
            if (static_cast<std::uint32_t>(*slot) == checksum)
                return slot;
            if (++slot == end)
                slot = slots_.data();
        }
    }
    std::uint64_t* Place(std::uint32_t checksum);

    const BlockRecords& records_;
    std::size_t blocks_;
    std::uint64_t groups_;
    ChecksumFilter filter_;
    // Checksum in the low half, the value in the high half: position + 1 of the checksum's
    // only block, or kShared | the number of its run. 0 is an empty slot.
    std::vector<std::uint64_t> slots_;
    std::vector<Run> runs_;
    std::vector<std::uint32_t> shared_; // positions of blocks whose checksum others have too
};

} // namespace Vantrel
} // namespace Halvorn

#endif
