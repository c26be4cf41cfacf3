// Signature generation: one sequential pass over the old file in chunks of whole blocks, each
// chunk hashed three ways from the same buffer: the running SHA-1 of the whole file, the
// rolling checksum of every block, and the MD5 values of its blocks all at once, in vector
// lanes where the processor has them. A read call or an MD5 stream per block would cost
// several times what the bytes do. The SHA-1, the costliest of the three, runs on a second
// thread; chunks of ordinary size take turns in two buffers, so that it hashes one while the
// next is read and hashed the other two ways. A read that fails leaves the blocks of the
// chunks before it in the signature.
#include <Vantrel/Korrin.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <Vantrel/FileDigest.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/digests/RollingChecksum.h"
#include "Vantrel/digests/Sha1Beside.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Md5Lanes.h"
#include "platform/RollingSums.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateFileDigest";
constexpr std::uint32_t kChunkBytes = 1u << 18;
constexpr std::uint32_t kMostBlocksPerChunk = 4096;
// Chunks up to this size get a second buffer; larger ones (blocks of over a MiB) wait for
// their SHA-1 before the next read rather than double the memory.
constexpr std::uint32_t kLargestTwinChunk = 1u << 20;
} // namespace

int Korrin::GenerateFileDigest(const std::wstring& path, FileDigest& digest)
{
    const std::uint32_t window = windowSize_;
    // A window of 0 reads nothing and would record the SHA-1 of no bytes for a file that has
    // some; a window past 2^31 does not fit the blocks' buffers. Refused before anything is written.
    if (!IsUsableWindowSize(window))
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    Platform::Runtime& runtime = Platform::CurrentRuntime();
    Platform::FileStatus status;
    if (runtime.Stat(path, status) != 0)
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    ScopedFileDescriptor file(runtime.Open(path, Platform::OpenMode::ReadSequential));
    if (file.Get() < 0)
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    int result = digest.SetWindowSize(window);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = digest.SetFileSize(status.size);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = digest.SetFileModifiedTime(status.modifiedTime);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);

    // Whole blocks of about 256 KiB a chunk, small enough for the processor's cache to keep
    // it for all three passes; one block at least, and not so many blocks that their values
    // take more room than their bytes.
    const std::uint32_t perChunk = window >= kChunkBytes ? 1 : std::min(kChunkBytes / window, kMostBlocksPerChunk);
    const std::uint32_t chunkBytes = perChunk * window;
    const std::uint32_t buffers = chunkBytes <= kLargestTwinChunk ? 2 : 1;
    std::unique_ptr<unsigned char[]> chunks(new unsigned char[std::uint64_t{chunkBytes} * buffers]);
    std::vector<const unsigned char*> starts(perChunk);
    std::vector<std::uint32_t> lengths(perChunk);
    std::vector<_md5_hash> md5s(perChunk);

    SHA1Digest fileDigest;
    Sha1Beside sha1(fileDigest);
    std::uint32_t index = 0;
    for (std::uint32_t turn = 0;; turn = (turn + 1) % buffers) {
        unsigned char* const chunk = chunks.get() + std::uint64_t{chunkBytes} * turn;
        // The buffer's bytes from its last turn must be hashed before they are read over.
        sha1.Settle(buffers - 1);
        // Reads fill the chunk unless the file ends: a short chunk is the last.
        const std::int64_t got = runtime.Read(file.Get(), chunk, chunkBytes);
        if (got < 0)
            return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
        if (got == 0)
            break;
        const auto length = static_cast<std::uint32_t>(got);
        sha1.Append(chunk, length);
        const std::uint32_t blocks = (length - 1) / window + 1;
        for (std::uint32_t b = 0; b < blocks; ++b) {
            starts[b] = chunk + std::uint64_t{b} * window;
            lengths[b] = b + 1 < blocks ? window : length - b * window;
        }
        if (!Platform::Md5Many(starts.data(), lengths.data(), blocks, md5s.data()))
            return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
        for (std::uint32_t b = 0; b < blocks; ++b) {
            std::uint32_t plain = 0;
            std::uint32_t running = 0;
            Platform::BlockSums(starts[b], lengths[b], plain, running);
            result = digest.AddDigest(index, ChecksumOf(plain, running), md5s[b]);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
            ++index;
        }
        if (length < chunkBytes)
            break;
    }

    sha1.Settle();
    fileDigest.Finish();
    result = digest.SetFileDigest(fileDigest);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = digest.Finish();
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
