#include "Vantrel/signature/BlockTable.h"

#include <cstring>
#include <new>
#include <numeric>

namespace Halvorn {
namespace Vantrel {

namespace {

// A position must fit a slot of the index beside its flag.
constexpr std::size_t kMostBlocks = 0x7FFFFFFE;
// Blocks written after the lookups were made wait beside them until they are this many, or
// a quarter of those the lookups cover, whichever is more; then the lookups are made afresh.
constexpr std::size_t kLeastTail = 1024;
// Lookups walk the blocks at least this many times between failed attempts to make the
// index, however few blocks there are.
constexpr std::size_t kLeastRetryInterval = 1024;

} // namespace

BlockTable::BlockTable() : index_(nullptr), retryIn_(0) {}

// The copy has no lookups yet, so no tail either: its first lookup covers every block.
BlockTable::BlockTable(const BlockTable& other) : records_(other.records_), index_(nullptr), retryIn_(0) {}

BlockTable::~BlockTable()
{
    delete index_.load();
}

void BlockTable::Swap(BlockTable& other) noexcept
{
    records_.Swap(other.records_);
    tail_.swap(other.tail_);
    std::swap(tailBlocks_, other.tailBlocks_);
    const BlockIndex* index = index_.load();
    index_.store(other.index_.load());
    other.index_.store(index);
    std::swap(retryIn_, other.retryIn_);
}

void BlockTable::Add(std::uint32_t index, std::uint32_t checksum, const _md5_hash& md5)
{
    if (records_.Size() >= kMostBlocks)
        throw std::bad_alloc();
    const BlockIndex* lookups = index_.load(std::memory_order_relaxed);
    if (lookups == nullptr) {
        records_.Add(BlockRecord{checksum, index, md5});
        return;
    }
    // The lookups stand; the block waits beside them. Whatever can throw is undone.
    auto place = tail_.find(checksum);
    const bool fresh = place == tail_.end();
    if (fresh)
        place = tail_.emplace(checksum, std::vector<std::uint32_t>()).first;
    try {
        place->second.push_back(static_cast<std::uint32_t>(records_.Size()));
        try {
            records_.Add(BlockRecord{checksum, index, md5});
        } catch (...) {
            place->second.pop_back();
            throw;
        }
    } catch (...) {
        if (fresh)
            tail_.erase(place);
        throw;
    }
    ++tailBlocks_;
    if (tailBlocks_ > kLeastTail && tailBlocks_ > lookups->Blocks() / 4) {
        index_.store(nullptr);
        delete lookups;
        tail_.clear();
        tailBlocks_ = 0;
    }
}

const BlockIndex* BlockTable::Lookups() const noexcept
{
    const BlockIndex* index = index_.load(std::memory_order_acquire);
    if (index != nullptr)
        return index;
    std::lock_guard<std::mutex> lock(making_);
    index = index_.load(std::memory_order_relaxed);
    if (index != nullptr)
        return index;
    if (retryIn_ > 0) {
        --retryIn_;
        return nullptr;
    }
    try {
        index = new BlockIndex(records_, records_.Size());
    } catch (const std::bad_alloc&) {
        retryIn_ = records_.Size() > kLeastRetryInterval ? records_.Size() : kLeastRetryInterval;
        return nullptr;
    }
    index_.store(index, std::memory_order_release);
    return index;
}

const BlockIndex* BlockTable::Index() const
{
    const BlockIndex* index = Lookups();
    return tail_.empty() ? index : nullptr;
}

std::int64_t BlockTable::FindInTail(std::uint32_t checksum, const _md5_hash& md5) const
{
    const auto place = tail_.find(checksum);
    if (place != tail_.end())
        for (const std::uint32_t position : place->second)
            if (records_[position].md5 == md5)
                return position;
    return -1;
}

bool BlockTable::Contains(std::uint32_t checksum) const
{
    if (const BlockIndex* index = Lookups())
        return (index->Possible(checksum) && index->Indexed(checksum)) || tail_.count(checksum) != 0;
    for (std::size_t position = 0; position < records_.Size(); ++position)
        if (records_[position].checksum == checksum)
            return true;
    return false;
}

bool BlockTable::Find(std::uint32_t checksum, const _md5_hash& md5, std::uint32_t& index) const
{
    std::int64_t found = -1;
    if (const BlockIndex* lookups = Lookups()) {
        found = lookups->Find(checksum, md5);
        if (found < 0 && !tail_.empty())
            found = FindInTail(checksum, md5);
    } else {
        for (std::size_t position = 0; position < records_.Size() && found < 0; ++position)
            if (records_[position].checksum == checksum && records_[position].md5 == md5)
                found = static_cast<std::int64_t>(position);
    }
    if (found < 0)
        return false;
    index = records_[static_cast<std::size_t>(found)].index;
    return true;
}

std::uint64_t BlockTable::Groups() const
{
    const BlockIndex* index = Index();
    if (index != nullptr)
        return index->Groups();
    try {
        return Order().Groups();
    } catch (const std::bad_alloc&) {
        // Without memory to sort, a block starts a group unless an earlier one has both values.
        std::uint64_t groups = 0;
        for (std::size_t position = 0; position < records_.Size(); ++position) {
            bool first = true;
            for (std::size_t earlier = 0; earlier < position && first; ++earlier)
                first = records_[earlier].checksum != records_[position].checksum ||
                        !(records_[earlier].md5 == records_[position].md5);
            groups += first;
        }
        return groups;
    }
}

BlockTable::Ordered::Ordered(const BlockRecords& records) : records_(records), groups_(0)
{
    // Sorted by checksum as plain numbers, the checksum above the position, and only runs of
    // one checksum, rare unless blocks repeat, by their MD5 values through the records.
    std::vector<std::uint64_t> keys(records.Size());
    for (std::size_t position = 0; position < keys.size(); ++position)
        keys[position] = std::uint64_t{records[position].checksum} << 32 | position;
    std::sort(keys.begin(), keys.end());
    sorted_.resize(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        sorted_[i] = static_cast<std::uint32_t>(keys[i]);
    keys = std::vector<std::uint64_t>();
    auto byMd5 = [&records](std::uint32_t a, std::uint32_t b) {
        const int order = std::memcmp(records[a].md5.bytes, records[b].md5.bytes, sizeof records[a].md5.bytes);
        return order < 0 || (order == 0 && a < b);
    };
    for (std::size_t begin = 0; begin < sorted_.size();) {
        std::size_t end = begin + 1;
        while (end < sorted_.size() && records[sorted_[end]].checksum == records[sorted_[begin]].checksum)
            ++end;
        if (end - begin > 1)
            std::sort(sorted_.begin() + static_cast<std::ptrdiff_t>(begin),
                      sorted_.begin() + static_cast<std::ptrdiff_t>(end), byMd5);
        for (std::size_t i = begin; i < end; ++i)
            groups_ += i == begin || !(records[sorted_[i - 1]].md5 == records[sorted_[i]].md5);
        begin = end;
    }
}

} // namespace Vantrel
} // namespace Halvorn
