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

#include <cstring>
#include <memory>

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
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateFileDelta";

// Positions whose checksum no block has are the common case, and they need none of the
// per-position bookkeeping as long as the window stays full and the pending literal run has
// room: no instruction, no read, and the lookup answered by the store's own filter and index.
// This passes over up to `limit` of them, the first at the window's first byte `bytes`, and
// stops at the first one whose checksum the signature has. `running` is the checksum of the
// position before the first and `leaving` that position's first byte; the sums roll exactly
// as Rcheck32Digest::Rolling does. A chunk at a time, it computes the checksums, then starts
// the filter reads of the whole chunk, then tests, so that the reads overlap instead of
// waiting on memory one by one. Returns how many positions it passed.
std::uint32_t PassCertainMisses(const unsigned char* bytes, std::uint32_t limit, std::uint32_t window,
                                const ChecksumProbe& probe, std::uint32_t running, unsigned char leaving)
{
    constexpr std::uint32_t kChunk = 64;
    // Only the low 16 bits of each sum count, so they may run on unmasked.
    std::uint32_t a = running & 0xFFFFu;
    std::uint32_t b = running >> 16;
    std::uint32_t out = leaving;
    std::uint32_t passed = 0;
    while (passed < limit) {
        const std::uint32_t n = limit - passed < kChunk ? limit - passed : kChunk;
        std::uint32_t weak[kChunk];
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t in = bytes[passed + i + window - 1];
            a = a - out + in;
            b = b - window * out + a;
            weak[i] = (b << 16) | (a & 0xFFFFu);
            out = bytes[passed + i];
        }
        std::uint64_t hashes[kChunk];
        std::uint64_t words[kChunk];
        for (std::uint32_t i = 0; i < n; ++i) {
            hashes[i] = ChecksumProbe::Hash(weak[i]);
            words[i] = probe.Word(hashes[i]);
        }
        for (std::uint32_t i = 0; i < n; ++i)
            if (ChecksumProbe::Possible(hashes[i], words[i]) && probe.Indexed(weak[i]))
                return passed + i;
        passed += n;
    }
    return passed;
}

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
    Rcheck32Digest checksum;
    unsigned char leaving = 0;
    const ChecksumProbe probe(digest);

    for (;;) {
        std::uint32_t count = 0;
        result = file.Read(count);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        if (count == 0)
            break;

        if (fresh) {
            checksum.Reset();
            checksum.Start(file.Buffer(), count);
        } else {
            const bool shrink = count != window;
            checksum.ResetForRolling();
            checksum.Rolling(leaving, shrink ? 0 : file.Get(count - 1), count, shrink);
        }
        leaving = file.Get(0);
        fresh = false;
        checksum.Finish();
        std::uint32_t weak = 0;
        checksum.GetDigest(weak);

        bool found = false;
        if (probe.Available()) {
            found = probe.Present(weak);
        } else {
            result = digest.Find(weak, found);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
        }
        if (found) {
            MD5Digest md5;
            md5.Append(file.Buffer(), count);
            md5.Finish();
            _md5_hash strong;
            md5.GetDigest(strong);
            std::uint32_t blockIndex = 0;
            result = digest.Find(weak, strong, found, blockIndex);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
            if (found) {
                if (base > literalStart) {
                    result = delta.AddDelta(literal.get(), static_cast<std::uint32_t>(base - literalStart));
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
        }

        // A run starts here: keep the window's bytes, which the run will be made of. Taken
        // only now, once the position has turned out not to match, since a match would waste it.
        if (base == literalStart) {
            std::memcpy(literal.get(), file.Buffer(), window);
        } else if (base - literalStart == window) {
            result = delta.AddDelta(literal.get(), window);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
            literalStart = base;
            std::memcpy(literal.get(), file.Buffer(), window);
        }
        result = file.Move(1);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        base = file.GetWindowBase();

        if (probe.Available() && file.Buffered() >= window) {
            const std::uint32_t full = file.Buffered() - window + 1; // positions with a full window
            const auto room =
                static_cast<std::uint32_t>(window - (base - literalStart)); // before the run fills
            const std::uint32_t passed =
                PassCertainMisses(file.Buffer(), full < room ? full : room, window, probe, weak, leaving);
            if (passed != 0) {
                // The checksum of the last position passed, as rolling would have left it.
                checksum.Reset();
                checksum.Start(file.Buffer() + passed - 1, window);
                leaving = file.Get(passed - 1);
                result = file.Move(passed);
                if (result != RESULT_OK)
                    return ReportError(result, nullptr, kFunction, __LINE__);
                base = file.GetWindowBase();
            }
        }
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
