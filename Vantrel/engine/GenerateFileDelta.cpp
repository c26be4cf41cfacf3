// Delta generation: a window of the signature's block size slides over the new file one
// byte at a time. At each position the rolling checksum of the window is looked up; a hit
// is confirmed by MD5, and a confirmed block becomes a copy instruction and the window jumps
// past it. Bytes no block covers gather in a literal buffer and leave in runs of at most
// one window.
//
// The subtle cases:
// - Matching is greedy and leftmost: the first position whose window matches a block wins.
// - Near the end the window shrinks (count < W) and the checksum rolls by losing bytes only,
//   so the old file's short last block can match there and nowhere else.
// - Equal checksums of different blocks are told apart by MD5; a hit without an MD5 match
//   is a miss like any other.
// - The literal buffer holds the W bytes the window showed when the pending run began, so
//   the pending run (at most W bytes) is always its first (base - literal start) bytes. It is
//   filled at the first position of a run that does not match, not before the lookup.
// - Every move is at most the count just read, so the window reads every byte once and in
//   order and its SHA-1 is the new file's.
#include <Vantrel/Korrin.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/FileWindow.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "Vantrel/signature/ChecksumProbe.h"
#include "platform/FilterProbe.h"
#include "platform/Md5Lanes.h"
#include "platform/RollingSums.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateFileDelta";
constexpr std::uint32_t kUnmatchedBeforeStretch = 4;

// The checksum one byte further on, as Rcheck32Digest::Rolling computes it: the window keeps
// `count` bytes, or with `shrink` loses `leaving` and gains nothing (`count` its new length).
std::uint32_t Rolled(std::uint32_t checksum, unsigned char leaving, unsigned char entering, std::uint32_t count,
                     bool shrink)
{
    // Unsigned arithmetic wraps modulo 2^32, a multiple of 65536, so masking at the end gives
    // the sums modulo 65536 whatever went below zero on the way.
    const std::uint32_t a = (checksum & 0xFFFFu) - leaving + entering;
    std::uint32_t b = checksum >> 16;
    if (shrink)
        b -= (count + 1) * static_cast<std::uint32_t>(leaving);
    else
        b += a - count * static_cast<std::uint32_t>(leaving);
    return (b << 16) | (a & 0xFFFFu);
}

// Positions rolled and tested against the filter together.
struct ScanChunk {
    static constexpr std::uint32_t kMost = 256;
    std::uint32_t start; // the position of checksums[0]
    std::uint32_t count;
    std::uint32_t checksums[kMost];
    std::uint64_t maybe[kMost / 64]; // the filter's answers, bit i % 64 of maybe[i / 64]
};

// Rolls the checksums of `chunk`'s positions on from the sums `plain` and `running` of the
// position before, tests them against the filter, and starts the index reads that the
// positions the filter does not rule out will need.
void FillChunk(ScanChunk& chunk, const unsigned char* bytes, std::uint32_t window, const ChecksumProbe& probe,
               std::uint32_t& plain, std::uint32_t& running)
{
    Platform::RollChecksums(bytes + chunk.start - 1, chunk.count, window, plain, running, chunk.checksums);
    probe.PossibleEach(chunk.checksums, chunk.count, chunk.maybe);
    for (std::uint32_t word = 0; word * 64 < chunk.count; ++word)
        for (std::uint64_t bits = chunk.maybe[word]; bits != 0; bits &= bits - 1)
            probe.PrepareIndexed(chunk.checksums[word * 64 + Platform::LowestSetBit(bits)]);
}

// The first of `chunk`'s positions whose checksum the signature has, or its count.
std::uint32_t FirstIndexed(const ScanChunk& chunk, const ChecksumProbe& probe)
{
    for (std::uint32_t word = 0; word * 64 < chunk.count; ++word) {
        for (std::uint64_t bits = chunk.maybe[word]; bits != 0; bits &= bits - 1) {
            const std::uint32_t i = word * 64 + Platform::LowestSetBit(bits);
            if (probe.Indexed(chunk.checksums[i]))
                return i;
        }
    }
    return chunk.count;
}

// Positions whose checksum no block has are the common case, and they need none of the
// per-position bookkeeping as long as the window stays full and the pending literal run has
// room: no instruction, no read, and the lookup answered by the store's own filter and index.
// This passes over up to `limit` of them, the first at the window's first byte `bytes`, and
// stops at the first one whose checksum the signature has. `checksum` is the checksum of the
// position before the first, `leaving` that position's first byte; on return `checksum` is
// the last passed position's. Returns how many positions it passed.
//
// The checksums of a chunk of positions are rolled at once, then tested against the filter
// at once, both in vector lanes where the processor has them, with many filter reads under
// way together. The few positions the filter does not rule out go on to the index, whose
// reads mostly miss the caches: they are started at once, and the next chunk is made before
// they are looked at.
std::uint32_t PassCertainMisses(const unsigned char* bytes, std::uint32_t limit, std::uint32_t window,
                                const ChecksumProbe& probe, std::uint32_t& checksum, unsigned char leaving)
{
    // Chunks of 256 positions took a quarter less time than chunks of 64 (bench/ScanBench.cpp).
    // The first chunk is short and is looked at before the next is made: a position the
    // signature has is often near (just past one whose block did not match, or all along in a
    // file much like the old one), and work past it is wasted.
    constexpr std::uint32_t kFirst = 64;
    if (limit == 0)
        return 0;
    // The first position's leaving byte may no longer be in the buffer: it rolls alone.
    const std::uint32_t first = Rolled(checksum, leaving, bytes[window - 1], window, false);
    if (probe.Present(first))
        return 0;
    checksum = first;
    std::uint32_t plain = first & 0xFFFFu; // the sums of the last position rolled
    std::uint32_t running = first >> 16;
    ScanChunk chunks[2];
    ScanChunk* current = &chunks[0];
    ScanChunk* next = &chunks[1];
    current->start = 1;
    current->count = limit - 1 < kFirst ? limit - 1 : kFirst;
    FillChunk(*current, bytes, window, probe, plain, running);
    for (bool ahead = false; current->count != 0; ahead = true) {
        next->start = current->start + current->count;
        next->count = limit - next->start < ScanChunk::kMost ? limit - next->start : ScanChunk::kMost;
        if (ahead)
            FillChunk(*next, bytes, window, probe, plain, running);
        const std::uint32_t i = FirstIndexed(*current, probe);
        if (i != current->count) {
            if (i != 0)
                checksum = current->checksums[i - 1];
            return current->start + i;
        }
        if (!ahead)
            FillChunk(*next, bytes, window, probe, plain, running);
        checksum = current->checksums[current->count - 1];
        std::swap(current, next);
    }
    return current->start;
}

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
class Plan {
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
    void Make(const ChecksumProbe& probe, const unsigned char* bytes, std::uint32_t full, std::int64_t position,
              std::uint32_t checksum, std::uint32_t window, bool unmatched)
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
                checksum = (running << 16) | (plain & 0xFFFFu);
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
                at = Scan(probe, bytes, position, from, Limit(from, kBreakReach, window, full), checksum, window, true);
                if (at == 0)
                    break;
            }
        }
        Confirm(probe, window);
    }

    // Works out the verdict of the window at `position` alone and lists it, where the batch
    // still lists positions beyond it, which stay. False when there are none (or no room).
    bool Insert(const ChecksumProbe& probe, const unsigned char* bytes, std::int64_t position, std::uint32_t checksum,
                std::uint32_t window)
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
    static std::uint32_t Limit(std::uint32_t from, std::uint32_t reach, std::uint32_t window, std::uint32_t full)
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
                       std::uint32_t from, std::uint32_t to, std::uint32_t before, std::uint32_t window, bool first)
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

    void Confirm(const ChecksumProbe& probe, std::uint32_t window)
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

} // namespace

int Korrin::GenerateFileDelta(const std::wstring& path, const FileDigest& digest, FileDelta& delta)
{
    Platform::FileStatus status;
    if (Platform::CurrentRuntime().Stat(path, status) != 0)
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    std::uint32_t version = 0;
    int result = digest.GetVersion(version);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.SetVersion(version);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    std::uint32_t window = 0;
    result = digest.GetWindowSize(window);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.SetWindowSize(window);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.SetFileSize(status.size);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.SetFileModifiedTime(status.modifiedTime);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);

    // An empty old file has no blocks to copy: the new file travels whole.
    std::uint64_t oldSize = 0;
    digest.GetFileSize(oldSize);
    if (oldSize == 0)
        return GenerateDeltaForWholeFile(path, delta);
    // A window of 0 would see nothing of the new file and describe it as empty.
    if (!IsUsableWindowSize(window))
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    FileWindow file;
    result = file.Open(path, window);
    if (result != RESULT_OK)
        return ReportError(result, path.c_str(), kFunction, __LINE__);

    std::unique_ptr<unsigned char[]> literal(new unsigned char[window]);
    std::int64_t literalStart = 0;
    std::int64_t base = 0;
    bool fresh = true;
    Rcheck32Digest started; // the checksum over a whole window, at the start and after a copy
    std::uint32_t weak = 0; // the checksum at the window's position, rolled along from there
    unsigned char leaving = 0;
    const ChecksumProbe probe(digest);
    Plan plan;
    // Candidates met one after another while scanning that matched nothing: from a few on,
    // the bytes around match nothing either, and the candidates ahead are scanned for together.
    std::uint32_t unmatched = 0;

    for (;;) {
        std::uint32_t count = 0;
        result = file.Read(count);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        if (count == 0)
            break;

        // The run this position joins if it matches nothing. A full one is emitted first, so
        // the run then has room for W positions from here.
        const auto pending = static_cast<std::uint32_t>(base - literalStart);
        const std::uint32_t room = pending == window ? window : window - pending;

        // Positions from this one on that surely match nothing. While the window is full
        // they are found by the fast pass, with the bytes the window has buffered.
        std::uint32_t misses = 0;
        if (!fresh && count == window && probe.Available()) {
            const std::uint32_t full = file.Buffered() - window + 1; // positions with a full window
            std::uint32_t limit = full < room ? full : room;
            const std::int64_t until = plan.ScannedUntil(base);
            if (until >= 0) {
                // Scanned already: up to the next listed position, or the end of the range,
                // whose last checksum the loop rolls on from.
                const std::int64_t next = plan.Next(base) < until ? plan.Next(base) : until;
                misses = next - base < limit ? static_cast<std::uint32_t>(next - base) : limit;
                if (base + misses == until)
                    weak = plan.LastChecksum();
            } else {
                const std::int64_t scanned = plan.NextScanned(base);
                if (scanned - base < limit)
                    limit = static_cast<std::uint32_t>(scanned - base);
                misses = PassCertainMisses(file.Buffer(), limit, window, probe, weak, leaving);
            }
        }
        bool found = false;
        std::uint32_t blockIndex = 0;
        if (misses == 0) {
            // A window listed ahead has its checksum summed already.
            if (plan.Checksum(base, weak)) {
            } else if (fresh) {
                started.Reset();
                started.Start(file.Buffer(), count);
                started.Finish();
                started.GetDigest(weak);
            } else {
                const bool shrink = count != window;
                weak = Rolled(weak, leaving, shrink ? 0 : file.Get(count - 1), count, shrink);
            }
            leaving = file.Get(0);
            const bool wasFresh = fresh;
            fresh = false;

            if (probe.Available()) {
                found = probe.Present(weak);
            } else {
                result = digest.Find(weak, found);
                if (result != RESULT_OK)
                    return ReportError(result, nullptr, kFunction, __LINE__);
            }
            const bool candidate = found;
            if (found) {
                if (probe.Available() && count == window) {
                    if (!plan.Verdict(base, found, blockIndex)) {
                        if (!plan.Insert(probe, file.Buffer(), base, weak, window))
                            plan.Make(probe, file.Buffer(), file.Buffered() - window + 1, base, weak, window,
                                      !wasFresh && unmatched >= kUnmatchedBeforeStretch);
                        plan.Verdict(base, found, blockIndex);
                    }
                } else {
                    MD5Digest md5;
                    md5.Append(file.Buffer(), count);
                    md5.Finish();
                    _md5_hash strong;
                    md5.GetDigest(strong);
                    result = digest.Find(weak, strong, found, blockIndex);
                    if (result != RESULT_OK)
                        return ReportError(result, nullptr, kFunction, __LINE__);
                }
            }
            if (!wasFresh && candidate)
                unmatched = found ? 0 : unmatched + 1;
            if (found) {
                if (base > literalStart) {
                    result = delta.AddDelta(literal.get(), pending);
                    if (result != RESULT_OK)
                        return ReportError(result, nullptr, kFunction, __LINE__);
                }
                result = delta.AddDelta(blockIndex);
                if (result != RESULT_OK)
                    return ReportError(result, nullptr, kFunction, __LINE__);
                result = file.Move(count);
                if (result != RESULT_OK)
                    return ReportError(result, nullptr, kFunction, __LINE__);
                base = literalStart = file.GetWindowBase();
                fresh = true;
                continue;
            }
            misses = 1;
        } else {
            // The first byte of the last position passed leaves at the next one.
            leaving = file.Get(misses - 1);
        }

        // A run starts here: keep the window's bytes, which the run will be made of. Taken
        // only now, once the position has turned out not to match, since a match would waste it.
        if (pending == 0) {
            std::memcpy(literal.get(), file.Buffer(), window);
        } else if (pending == window) {
            result = delta.AddDelta(literal.get(), window);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
            literalStart = base;
            std::memcpy(literal.get(), file.Buffer(), window);
        }
        result = file.Move(misses);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        base = file.GetWindowBase();
    }

    if (base > literalStart) {
        result = delta.AddDelta(literal.get(), static_cast<std::uint32_t>(base - literalStart));
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
    }
    file.Close();
    SHA1Digest fileDigest;
    file.GetFileDigest(fileDigest);
    result = delta.SetFileDigest(fileDigest);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.Finish();
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
