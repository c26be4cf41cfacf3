// Rebuilding: the instructions in order, blocks copied from the old file and literals from
// the instructions, every byte written also fed to a SHA-1 digest that must end equal to the
// delta's. The write buffer feeds the digest, on a second thread for large files.
#include <Vantrel/FileDelta.h>

#include <algorithm>
#include <cstdint>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/delta/FreshNewFile.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlockReader.h"
#include "Vantrel/io/ScopedResource.h"
#include "Vantrel/io/WriteBuffer.h"
#include "Vantrel/io/WriteFailure.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::FileDelta::GenerateFile";

thread_local bool freshRequested = false;

// Writes `length` bytes, which the buffer adds to the digest: RESULT_OK or the write's
// failure code.
int Emit(WriteBuffer& out, const unsigned char* bytes, std::uint32_t length)
{
    return out.Write(bytes, length) ? RESULT_OK : WriteFailure();
}

} // namespace

FreshNewFile::FreshNewFile()
{
    freshRequested = true;
}

FreshNewFile::~FreshNewFile()
{
    freshRequested = false;
}

bool FreshNewFile::Take()
{
    const bool fresh = freshRequested;
    freshRequested = false;
    return fresh;
}

int FileDelta::GenerateFile(const std::wstring& oldPath, const std::wstring& newPath) const
{
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    SHA1Digest digest;
    int answer;
    {
        // Both files are closed at the end of this block, whatever happens in it.
        const Platform::OpenMode mode = FreshNewFile::Take() ? Platform::OpenMode::WriteFresh
                                                             : Platform::OpenMode::WriteCreate;
        ScopedFileDescriptor newFile(runtime.Open(newPath, mode));
        if (newFile.Get() < 0)
            return ReportError(RESULT_FAILED, newPath.c_str(), kFunction, __LINE__);
        ScopedFileDescriptor oldFile(runtime.Open(oldPath, Platform::OpenMode::Read));
        if (oldFile.Get() < 0)
            return ReportError(RESULT_FAILED, oldPath.c_str(), kFunction, __LINE__);

        std::uint32_t version = 0;
        int result = store_->ReadVersion(version);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        if (version != 1)
            return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
        std::uint32_t window = 0;
        result = store_->ReadWindowSize(window);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        std::uint64_t size = 0;
        result = store_->ReadFileSize(size);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        std::int64_t time = 0;
        result = store_->ReadFileModifiedTime(time);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);

        // Reads and writes go through large buffers: a call per block would cost
        // more than the bytes themselves. Copies of consecutive blocks are gathered into one
        // piece, read, written and hashed at once. What is gathered and buffered goes out
        // before the store is asked past its last instruction, so that a failing read or
        // write is reported before the store logs the end of the instructions, as it would be
        // without the buffers.
        Platform::FileStatus old;
        BlockReader blocks(oldFile.Get(), window, runtime.Stat(oldPath, old) == 0 ? old.size : UINT64_MAX);
        // Copies never take the new file past the size the delta gives it: a small delta
        // that copies a large block again and again fails at the first copy too many, not
        // after writing gigabytes. Literals need no such bound, as their bytes are the delta's
        // own (and a whole-file delta may carry no size).
        std::uint64_t written = 0;
        // Holds every byte written in the digest once gone, at the end of this block.
        WriteBuffer out(newFile.Get(), &digest);
        std::uint32_t runFirst = 0; // the copies gathered: runCount blocks from runFirst on
        std::uint32_t runCount = 0;
        auto emitRun = [&]() {
            if (runCount == 0)
                return RESULT_OK;
            const unsigned char* bytes = nullptr;
            std::uint32_t length = 0;
            if (!blocks.Read(runFirst, runCount, bytes, length))
                return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
            runCount = 0;
            if (length > size - std::min(written, size))
                return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
            written += length;
            // Short at the end of the old file, or nothing for blocks past it.
            const int emitted = Emit(out, bytes, length);
            return emitted == RESULT_OK ? RESULT_OK : ReportError(emitted, nullptr, kFunction, __LINE__);
        };
        auto emitAll = [&]() {
            const int emitted = emitRun();
            if (emitted != RESULT_OK || out.Flush())
                return emitted;
            return ReportError(WriteFailure(), nullptr, kFunction, __LINE__);
        };

        // A delta read from a file hands over runs of copies at once.
        DeltaFileReader* const reader = dynamic_cast<DeltaFileReader*>(store_);
        const std::uint32_t count = store_->GetDeltaCount();
        std::uint32_t done = 0;
        void* cursor = nullptr;
        boost::shared_ptr<DeltaEntry> entry;
        for (;;) {
            if (done == count && (result = emitAll()) != RESULT_OK)
                return result;
            answer = store_->ReadDelta(&cursor, entry);
            if (answer != RESULT_OK)
                break;
            ++done;
            if (entry->type == DigestDelta) {
                const std::uint32_t blockIndex = static_cast<const DigestDeltaEntry&>(*entry).blockIndex;
                if (runCount == 0 || blockIndex - runFirst != runCount || runCount == blocks.Capacity()) {
                    if ((result = emitRun()) != RESULT_OK)
                        return result;
                    runFirst = blockIndex;
                    runCount = 0;
                }
                ++runCount;
                if (reader != nullptr) {
                    // Never past the count, so that what is gathered goes out before the
                    // store is asked past its last instruction.
                    std::uint32_t most = blocks.Capacity() - runCount;
                    if (count > done && count - done < most)
                        most = count - done;
                    const std::uint32_t taken = reader->TakeCopyRun(runFirst + runCount, most);
                    runCount += taken;
                    done += taken;
                }
                continue;
            }
            if ((result = emitRun()) != RESULT_OK)
                return result;
            const auto& literal = static_cast<const BufferDeltaEntry&>(*entry);
            written += literal.length;
            result = Emit(out, literal.buffer, literal.length);
            if (result != RESULT_OK)
                return ReportError(result, nullptr, kFunction, __LINE__);
        }
        if ((result = emitAll()) != RESULT_OK)
            return result;
    }

    // RESULT_FAILED is how the store says the instructions have ended.
    if (answer != RESULT_FAILED)
        return ReportError(answer, nullptr, kFunction, __LINE__);
    // An unfinished digest would compare neither equal nor unequal: never pass unchecked.
    if (digest.Finish() != RESULT_OK)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
    SHA1Digest expected;
    const int result = GetFileDigest(expected);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    if (digest != expected)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
