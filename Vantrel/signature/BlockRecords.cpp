#include "Vantrel/signature/BlockRecords.h"

namespace Halvorn {
namespace Vantrel {

BlockRecords::BlockRecords(const BlockRecords& other) : count_(other.count_)
{
    chunks_.reserve(other.chunks_.size());
    for (const std::vector<BlockRecord>& chunk : other.chunks_) {
        chunks_.emplace_back();
        chunks_.back().reserve(chunk.capacity());
        chunks_.back().assign(chunk.begin(), chunk.end());
    }
}

void BlockRecords::Grow()
{
    // Whatever can throw comes before anything changes.
    if (chunks_.size() == 1 && chunks_.front().capacity() < kChunkSize) {
        const std::size_t larger = chunks_.front().capacity() * 2;
        chunks_.front().reserve(larger < kChunkSize ? larger : kChunkSize);
        return;
    }
    std::vector<BlockRecord> chunk;
    chunk.reserve(chunks_.empty() ? 16 : kChunkSize);
    chunks_.reserve(chunks_.size() + 1);
    chunks_.push_back(std::move(chunk));
}

} // namespace Vantrel
} // namespace Halvorn
