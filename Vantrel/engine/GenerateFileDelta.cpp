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
// - The literal buffer holds the bytes the window showed when the pending run began, so
//   the pending run (at most W bytes) is always its first (base - literal start) bytes. It is
//   filled at the first position of a run that does not match, not before the lookup.
// - Every move is at most the count just read, so the window reads every byte once and in
//   order and its SHA-1 is the new file's.
#include <Vantrel/Korrin.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/FileWindow.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/digests/RollingChecksum.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "Vantrel/engine/CertainMisses.h"
#include "Vantrel/engine/ConfirmationPlan.h"
#include "Vantrel/signature/ChecksumProbe.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateFileDelta";
constexpr std::uint32_t kUnmatchedBeforeStretch = 4;

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

    // The bytes of the pending run, kept from the window when the run begins: its count
    // bytes, which cover the run to the end of the file when the window is short. So the
    // buffer grows with the file, however large the signature says a window is.
    std::vector<unsigned char> literal;
    auto keep = [&literal, &file](std::uint32_t count) {
        if (literal.size() < count)
            literal.resize(count);
        std::memcpy(literal.data(), file.Buffer(), count);
    };
    std::int64_t literalStart = 0;
    std::int64_t base = 0;
    bool fresh = true;
    Rcheck32Digest started; // the checksum over a whole window, at the start and after a copy
    std::uint32_t weak = 0; // the checksum at the window's position, rolled along from there
    unsigned char leaving = 0;
    const ChecksumProbe probe(digest);
    ConfirmationPlan plan;
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
                    result = delta.AddDelta(literal.data(), pending);
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
            keep(count);
        } else if (pending == window) {
            result = delta.AddDelta(literal.data(), window);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
            literalStart = base;
            keep(count);
        }
        result = file.Move(misses);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        base = file.GetWindowBase();
    }

    if (base > literalStart) {
        result = delta.AddDelta(literal.data(), static_cast<std::uint32_t>(base - literalStart));
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
