// What the loop will want to know at positions ahead of it, worked out in one batch so that
// the MD5 values of the candidate windows are hashed together in vector lanes: a batch costs
// little more than one MD5 stream, so the fewer batches the better. Every answer is the one
// the loop would reach itself: the same bytes, the same lookups.
//
// A batch starts at a window whose checksum the signature has, and lists, with their
// checksums and MD5 verdicts, the candidate windows the loop is likely to meet:
// - where blocks have been matching, the windows one block further on each, for as long as
//   the signature has their checksums; where that breaks, the positions after the break are
//   scanned for the next candidate, where the new file may fall in step with the old again,
//   and the run goes on from there, past a number of breaks;
// - where candidates have been matching nothing, every position of a stretch ahead: such
//   candidates are then chance hits, far apart.
// The scanned ranges are kept: their positions that are not listed surely match nothing, so
// the loop steps over them without scanning again. Where a guess was wrong (a candidate past
// a break matches nothing, and the loop scans on by itself into a candidate the batch did not
// list), that candidate is confirmed alone and joins the batch, which keeps what lies beyond.
#ifndef VANTREL_ENGINE_CONFIRMATIONPLAN_H
#define VANTREL_ENGINE_CONFIRMATIONPLAN_H

#include <cstdint>

#include "Vantrel/signature/ChecksumProbe.h"

namespace Halvorn {
namespace Vantrel {

class ConfirmationPlan {
public:
    // The end of the scanned range that holds `position`, or -1 when none does.
    std::int64_t ScannedUntil(std::int64_t position)
    {
        while (range_ < ranges_ && ends_[range_] <= position)
            ++range_;
        return range_ < ranges_ && begins_[range_] <= position ? ends_[range_] : -1;
    }
    // Where the next scanned range begins after `position`, which no range holds; INT64_MAX
    // when there is none.
    std::int64_t NextScanned(std::int64_t position)
    {
        ScannedUntil(position);
        return range_ < ranges_ ? begins_[range_] : INT64_MAX;
    }
    // The checksum of the last position of the range ScannedUntil found.
    std::uint32_t LastChecksum() const { return lasts_[range_]; }
    // The first listed position from `position` on, or INT64_MAX; earlier ones go.
    std::int64_t Next(std::int64_t position)
    {
        while (next_ < count_ && positions_[next_] < position)
            ++next_;
        return next_ < count_ ? positions_[next_] : INT64_MAX;
    }
    bool Checksum(std::int64_t position, std::uint32_t& checksum)
    {
        if (Next(position) != position)
            return false;
        checksum = checksums_[next_];
        return true;
    }
    bool Verdict(std::int64_t position, bool& found, std::uint32_t& blockIndex)
    {
        if (Next(position) != position)
            return false;
        found = found_[next_];
        blockIndex = blocks_[next_];
        return true;
    }

    // Works out a batch from the window at `position`, whose checksum `checksum` the
    // signature has and whose bytes start at `bytes`, with `full` full windows buffered from
    // there on. `unmatched` says that candidates have been matching nothing lately.
    void Make(const ChecksumProbe& probe, const unsigned char* bytes, std::uint32_t full,
              std::int64_t position, std::uint32_t checksum, std::uint32_t window, bool unmatched);
    // Works out the verdict of the window at `position` alone and lists it, where the batch
    // still lists positions beyond it, which stay. False when there are none (or no room).
    bool Insert(const ChecksumProbe& probe, const unsigned char* bytes, std::int64_t position,
                std::uint32_t checksum, std::uint32_t window);

private:
    static constexpr std::uint32_t kMost = 32;
    // How far a stretch over unmatched bytes reaches, in windows.
    static constexpr std::uint32_t kLeastReach = 2;
    static constexpr std::uint32_t kMostReach = 64;
    // How far past the break of a run the next candidate is looked for, in windows, and how
    // many breaks a batch goes past.
    static constexpr std::uint32_t kBreakReach = 2;
    static constexpr std::uint32_t kMostBreaks = 16;

    // `reach` windows from `from` on, but not past the full windows buffered.
    static std::uint32_t Limit(std::uint32_t from, std::uint32_t reach, std::uint32_t window,
                               std::uint32_t full)
    {
        const std::uint64_t span = std::uint64_t{reach} * window;
        return span < full - from ? from + static_cast<std::uint32_t>(span) : full;
    }

    void List(std::int64_t position, const unsigned char* start, std::uint32_t checksum)
    {
        positions_[count_] = position;
        starts_[count_] = start;
        checksums_[count_] = checksum;
        ++count_;
    }

    // Scans the positions `from` to `to` - 1, counted from `position` whose bytes start at
    // `bytes`, listing their candidates (only the first with `first`) while there is room;
    // `before` is the checksum of the position before `from`. Keeps the range scanned and
    // returns the first candidate listed (counted from `position`), or 0.
    std::uint32_t Scan(const ChecksumProbe& probe, const unsigned char* bytes, std::int64_t position,
                       std::uint32_t from, std::uint32_t to, std::uint32_t before, std::uint32_t window,
                       bool first);
    void Confirm(const ChecksumProbe& probe, std::uint32_t window);

    // The candidates, in order of position.
    std::int64_t positions_[kMost];
    const unsigned char* starts_[kMost];
    std::uint32_t checksums_[kMost];
    bool found_[kMost];
    std::uint32_t blocks_[kMost];
    std::uint32_t count_ = 0;
    std::uint32_t next_ = 0;
    // The ranges scanned, in order: [begins_, ends_), with the checksum of their last positions.
    std::int64_t begins_[kMost];
    std::int64_t ends_[kMost];
    std::uint32_t lasts_[kMost];
    std::uint32_t ranges_ = 0;
    std::uint32_t range_ = 0;
    std::uint32_t reach_ = 0;
    bool matched_ = false; // whether the last batch confirmed a candidate
};

} // namespace Vantrel
} // namespace Halvorn

#endif
