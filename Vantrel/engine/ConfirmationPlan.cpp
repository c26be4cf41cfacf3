#include "Vantrel/engine/ConfirmationPlan.h"

#include <Vantrel/HashValues.h>

#include "Vantrel/digests/RollingChecksum.h"
#include "Vantrel/engine/CertainMisses.h"
#include "platform/Md5Lanes.h"
#include "platform/RollingSums.h"

namespace Halvorn {
namespace Vantrel {

void ConfirmationPlan::Make(const ChecksumProbe& probe, const unsigned char* bytes, std::uint32_t full,
                            std::int64_t position, std::uint32_t checksum, std::uint32_t window,
                            bool unmatched)
{
    count_ = next_ = ranges_ = range_ = 0;
    List(position, bytes, checksum);
    if (unmatched) {
        // A stretch reaches further while none of its candidates match.
        reach_ = matched_ || reach_ == 0 ? kLeastReach : reach_ < kMostReach ? reach_ * 2 : kMostReach;
        Scan(probe, bytes, position, 1, Limit(1, reach_, window, full), checksum, window, false);
    } else {
        std::uint32_t at = 0; // the last window listed, from `position`
        std::uint32_t breaks = 0;
        while (count_ < kMost && std::uint64_t{at} + window < full) {
            const std::uint32_t next = at + window;
            std::uint32_t plain = 0;
            std::uint32_t running = 0;
            Platform::BlockSums(bytes + next, window, plain, running);
            checksum = ChecksumOf(plain, running);
            if (probe.Present(checksum)) {
                List(position + next, bytes + next, checksum);
                at = next;
                continue;
            }
            // The run breaks here. The first candidate past the break is where the new file
            // may fall in step again, and the run goes on from there.
            const std::uint32_t from = next + 1;
            if (breaks == kMostBreaks || from >= full)
                break;
            ++breaks;
            at = Scan(probe, bytes, position, from, Limit(from, kBreakReach, window, full), checksum, window,
                      true);
            if (at == 0)
                break;
        }
    }
    Confirm(probe, window);
}

bool ConfirmationPlan::Insert(const ChecksumProbe& probe, const unsigned char* bytes, std::int64_t position,
                              std::uint32_t checksum, std::uint32_t window)
{
    if (Next(position) == INT64_MAX || next_ == 0)
        return false;
    --next_;
    positions_[next_] = position;
    starts_[next_] = bytes;
    checksums_[next_] = checksum;
    _md5_hash md5;
    found_[next_] = Platform::Md5Many(&bytes, &window, 1, &md5) && probe.Find(checksum, md5, blocks_[next_]);
    return true;
}

std::uint32_t ConfirmationPlan::Scan(const ChecksumProbe& probe, const unsigned char* bytes,
                                     std::int64_t position, std::uint32_t from, std::uint32_t to,
                                     std::uint32_t before, std::uint32_t window, bool first)
{
    begins_[ranges_] = position + from;
    std::uint32_t listed = 0;
    while (from < to && count_ < kMost) {
        std::uint32_t rolled = before;
        from += PassCertainMisses(bytes + from, to - from, window, probe, rolled, bytes[from - 1]);
        before = rolled;
        if (from == to)
            break;
        before = Rolled(rolled, bytes[from - 1], bytes[from + window - 1], window, false);
        List(position + from, bytes + from, before);
        if (listed == 0)
            listed = from;
        ++from;
        if (first)
            break;
    }
    ends_[ranges_] = position + from;
    lasts_[ranges_] = before;
    ++ranges_;
    return listed;
}

void ConfirmationPlan::Confirm(const ChecksumProbe& probe, std::uint32_t window)
{
    std::uint32_t lengths[kMost];
    _md5_hash md5s[kMost];
    for (std::uint32_t i = 0; i < count_; ++i)
        lengths[i] = window;
    // Without the hashing layer no window can be confirmed: the bytes go as literals.
    const bool hashed = Platform::Md5Many(starts_, lengths, count_, md5s);
    matched_ = false;
    for (std::uint32_t i = 0; i < count_; ++i) {
        found_[i] = hashed && probe.Find(checksums_[i], md5s[i], blocks_[i]);
        matched_ = matched_ || found_[i];
    }
}

} // namespace Vantrel
} // namespace Halvorn
