#include "Vantrel/engine/CertainMisses.h"

#include <utility>

#include "Vantrel/digests/RollingChecksum.h"
#include "platform/FilterProbe.h"
#include "platform/RollingSums.h"

namespace Halvorn {
namespace Vantrel {

namespace {

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

} // namespace

std::uint32_t PassCertainMisses(const unsigned char* bytes, std::uint32_t limit, std::uint32_t window,
                                const ChecksumProbe& probe, std::uint32_t& checksum, unsigned char leaving)
{
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

} // namespace Vantrel
} // namespace Halvorn
