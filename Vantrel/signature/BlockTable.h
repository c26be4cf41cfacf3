// A signature's block table: the blocks in the order written (BlockRecords), and the lookups
// (BlockIndex), made by the first lookup and then shared by every thread that looks up.
//
// The groups of the table (blocks sharing a checksum and an MD5 value) are never kept: they
// are found when the table is handed out, in its order, checksums ascending and, under one
// checksum, groups by their first block. Blocks written after the lookups were made are
// looked up in a small ordered map beside them until there are enough of them to make the
// lookups afresh. Without memory for the lookups, lookups walk the blocks, with the same
// answers, and try again later.
//
// Writing is for one thread, with no lookup under way; lookups, once writing is done, for
// any number of threads at once.
#ifndef VANTREL_SIGNATURE_BLOCKTABLE_H
#define VANTREL_SIGNATURE_BLOCKTABLE_H

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <Vantrel/DigestEntry.h>

#include "Vantrel/signature/BlockIndex.h"
#include "Vantrel/signature/BlockRecords.h"

namespace Halvorn {
namespace Vantrel {

class BlockTable {
public:
    BlockTable();
    // Copies the blocks; the copy makes its own lookups when it needs them.
    BlockTable(const BlockTable& other);
    ~BlockTable();
    BlockTable& operator=(const BlockTable&) = delete;
    void Swap(BlockTable& other) noexcept;

    // Records a block. When memory runs out (std::bad_alloc), nothing has changed.
    void Add(std::uint32_t index, std::uint32_t checksum, const _md5_hash& md5);
    bool Empty() const { return records_.Size() == 0; }

    // Lookups never throw.
    bool Contains(std::uint32_t checksum) const;
    // The index of the first block written with both values; false when there is none.
    bool Find(std::uint32_t checksum, const _md5_hash& md5, std::uint32_t& index) const;
    // The lookups, made now if need be, for callers that probe in a loop; null when they
    // cannot be made, or blocks written since they were are waiting beside them.
    const BlockIndex* Index() const;

    // Groups of blocks with one checksum and one MD5 value. Never throws.
    std::uint64_t Groups() const;

    // The table in its order, for handing it out whole.
    class Ordered {
    public:
        std::uint64_t Groups() const { return groups_; }
        // Calls visit(checksum, group) for every group in the table's order, each with its
        // block indices in the order written.
        template <typename Visit>
        void ForEach(Visit visit) const;

    private:
        friend class BlockTable;
        explicit Ordered(const BlockRecords& records);

        const BlockRecords& records_;
        std::vector<std::uint32_t> sorted_; // positions by checksum, MD5 value and position
        std::uint64_t groups_;
    };
    // Throws std::bad_alloc.
    Ordered Order() const { return Ordered(records_); }

private:
    using Tail = std::map<std::uint32_t, std::vector<std::uint32_t>>; // checksum to positions

    // The lookups if made, making them if this is the time to try.
    const BlockIndex* Lookups() const noexcept;
    std::int64_t FindInTail(std::uint32_t checksum, const _md5_hash& md5) const;

    BlockRecords records_;
    Tail tail_; // blocks written after the lookups were made
    std::size_t tailBlocks_ = 0;
    mutable std::atomic<const BlockIndex*> index_;
    mutable std::mutex making_;
    // After a failure to make the lookups, lookups that walk the blocks before the next
    // attempt: as many as there are blocks, so that failing attempts at most double their cost.
    mutable std::size_t retryIn_;
};

template <typename Visit>
void BlockTable::Ordered::ForEach(Visit visit) const
{
    DigestEntry group;
    std::vector<std::pair<std::size_t, std::size_t>> groups; // [begin, end) in sorted_
    for (std::size_t begin = 0; begin < sorted_.size();) {
        const BlockRecord& block = records_[sorted_[begin]];
        const std::uint32_t checksum = block.checksum;
        // Most checksums have one block: no groups to tell apart.
        if (begin + 1 == sorted_.size() || records_[sorted_[begin + 1]].checksum != checksum) {
            group.md5 = block.md5;
            group.blockIndices.assign(1, block.index);
            visit(checksum, group);
            ++begin;
            continue;
        }
        // The groups of one checksum lie together, by MD5 value; they go out in the order of
        // their first blocks.
        groups.clear();
        std::size_t end = begin;
        while (end < sorted_.size() && records_[sorted_[end]].checksum == checksum) {
            std::size_t next = end + 1;
            while (next < sorted_.size() && records_[sorted_[next]].checksum == checksum &&
                   records_[sorted_[next]].md5 == records_[sorted_[end]].md5)
                ++next;
            groups.emplace_back(end, next);
            end = next;
        }
        std::sort(groups.begin(), groups.end(),
                  [this](const auto& a, const auto& b) { return sorted_[a.first] < sorted_[b.first]; });
        for (const auto& range : groups) {
            group.md5 = records_[sorted_[range.first]].md5;
            group.blockIndices.clear();
            for (std::size_t i = range.first; i < range.second; ++i)
                group.blockIndices.push_back(records_[sorted_[i]].index);
            visit(checksum, group);
        }
        begin = end;
    }
}

} // namespace Vantrel
} // namespace Halvorn

#endif
