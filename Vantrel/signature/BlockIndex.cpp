// A filter answers most absent checksums from one word (ChecksumFilter). Behind it, an open
// addressing table at most three quarters full holds each checksum once in an 8-byte slot,
// with the position of its only block or, for a checksum several blocks share, a run of their
// positions sorted by MD5 value and then position, searched by halving.
#include "Vantrel/signature/BlockIndex.h"

#include <algorithm>

namespace Halvorn {
namespace Vantrel {

namespace {

int CompareMd5(const _md5_hash& a, const _md5_hash& b)
{
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes);
}

} // namespace

std::uint64_t* BlockIndex::Place(std::uint32_t checksum)
{
    std::uint64_t* slot = slots_.data() + Home(checksum);
    std::uint64_t* const end = slots_.data() + slots_.size();
    while (*slot != 0 && static_cast<std::uint32_t>(*slot) != checksum)
        if (++slot == end)
            slot = slots_.data();
    return slot;
}

BlockIndex::BlockIndex(const BlockRecords& records, std::size_t count)
    : records_(records), blocks_(count), groups_(0)
{
    // At most three quarters full: a present checksum is found within a few slots of home.
    slots_.assign(count + count / 3 + 1, 0);

    // First every checksum takes a slot and counts its blocks; a checksum met again gets a run.
    std::size_t checksums = 0;
    for (std::size_t position = 0; position < count; ++position) {
        const std::uint32_t checksum = records[position].checksum;
        std::uint64_t* slot = Place(checksum);
        const auto value = static_cast<std::uint32_t>(*slot >> 32);
        if (*slot == 0) {
            *slot = checksum | (std::uint64_t{position + 1} << 32);
            ++checksums;
        } else if ((value & kShared) == 0) {
            *slot = checksum | (std::uint64_t{kShared | static_cast<std::uint32_t>(runs_.size())} << 32);
            runs_.push_back(Run{0, 2});
        } else {
            ++runs_[value & ~kShared].count;
        }
    }
    // Then the runs take their places, in order of position, and are sorted by MD5 value
    // and position: the first block of a group comes first in it.
    std::uint32_t start = 0;
    for (Run& run : runs_) {
        run.start = start;
        start += run.count;
        run.count = 0;
    }
    shared_.resize(start);
    for (std::size_t position = 0; position < count && !runs_.empty(); ++position) {
        const auto value = static_cast<std::uint32_t>(*Place(records[position].checksum) >> 32);
        if ((value & kShared) != 0) {
            Run& run = runs_[value & ~kShared];
            shared_[run.start + run.count++] = static_cast<std::uint32_t>(position);
        }
    }
    groups_ = checksums - runs_.size();
    for (const Run& run : runs_) {
        std::uint32_t* const first = shared_.data() + run.start;
        std::uint32_t* const last = first + run.count;
        std::sort(first, last, [&records](std::uint32_t a, std::uint32_t b) {
            const int order = CompareMd5(records[a].md5, records[b].md5);
            return order < 0 || (order == 0 && a < b);
        });
        for (const std::uint32_t* p = first; p != last; ++p)
            groups_ += p == first || CompareMd5(records[p[-1]].md5, records[*p].md5) != 0;
    }

    filter_.Reset(checksums);
    for (const std::uint64_t slot : slots_)
        if (slot != 0)
            filter_.Add(static_cast<std::uint32_t>(slot));
}

std::int64_t BlockIndex::Find(std::uint32_t checksum, const _md5_hash& md5) const
{
    const std::uint64_t* slot = Slot(checksum);
    if (slot == nullptr)
        return -1;
    const auto value = static_cast<std::uint32_t>(*slot >> 32);
    if ((value & kShared) == 0) {
        const std::uint32_t position = value - 1;
        return CompareMd5(records_[position].md5, md5) == 0 ? std::int64_t{position} : -1;
    }
    const Run& run = runs_[value & ~kShared];
    const std::uint32_t* const first = shared_.data() + run.start;
    const std::uint32_t* const last = first + run.count;
    const std::uint32_t* const found =
        std::lower_bound(first, last, md5, [this](std::uint32_t position, const _md5_hash& sought) {
            return CompareMd5(records_[position].md5, sought) < 0;
        });
    if (found == last || CompareMd5(records_[*found].md5, md5) != 0)
        return -1;
    return *found;
}

} // namespace Vantrel
} // namespace Halvorn
