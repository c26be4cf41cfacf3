// A signature's blocks as they were written, in that order: a block's checksum, index and
// MD5 value in 24 bytes, kept in chunks of fixed size so that growing never copies what is
// there (a copy would hold the table twice at its peak) and a position, counted from 0 in
// the order written, names a block for good.
#ifndef VANTREL_SIGNATURE_BLOCKRECORDS_H
#define VANTREL_SIGNATURE_BLOCKRECORDS_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include <Vantrel/HashValues.h>

namespace Halvorn {
namespace Vantrel {

struct BlockRecord {
    std::uint32_t checksum;
    std::uint32_t index;
    _md5_hash md5;
};

class BlockRecords {
public:
    BlockRecords() = default;
    // Chunks copied keep their room, which the positions depend on.
    BlockRecords(const BlockRecords& other);
    BlockRecords& operator=(const BlockRecords&) = delete;
    void Swap(BlockRecords& other) noexcept
    {
        chunks_.swap(other.chunks_);
        std::swap(count_, other.count_);
    }

    // Appends a block; when memory runs out (std::bad_alloc), nothing has changed.
    void Add(const BlockRecord& record)
    {
        if (count_ == Capacity())
            Grow();
        chunks_.back().push_back(record);
        ++count_;
    }
    std::size_t Size() const { return count_; }
    const BlockRecord& operator[](std::size_t position) const
    {
        return chunks_[position >> kChunkBits][position & (kChunkSize - 1)];
    }

private:
    static constexpr unsigned kChunkBits = 15;
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;

    std::size_t Capacity() const
    {
        return chunks_.empty() ? 0 : (chunks_.size() - 1) * kChunkSize + chunks_.back().capacity();
    }
    void Grow();

    // Every chunk but the first holds kChunkSize blocks from the start; the first grows
    // to that size as a vector does, so that a small signature takes little memory.
    std::vector<std::vector<BlockRecord>> chunks_;
    std::size_t count_ = 0;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
