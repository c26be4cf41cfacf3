// A delta without a signature: the whole file as literal instructions of at most 65535
// bytes, with its SHA-1 value; and the make-up of any delta. The SHA-1 runs on a second
// thread for large files, over two buffers that take turns.
#include <Vantrel/Korrin.h>

#include <memory>
#include <new>

#include <Vantrel/FileDelta.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/digests/Sha1Beside.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateDeltaForWholeFile";
constexpr std::uint32_t kChunk = 65535;
} // namespace

int Korrin::GenerateDeltaForWholeFile(const std::wstring& path, FileDelta& delta)
{
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    ScopedFileStream file(runtime.OpenStream(path));
    if (file.Get() == nullptr)
        return ReportError(RESULT_FAILED, path.c_str(), kFunction, __LINE__);

    std::unique_ptr<unsigned char[]> buffers(new (std::nothrow) unsigned char[2 * kChunk]);
    if (!buffers)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);

    SHA1Digest digest;
    Sha1Beside sha1(digest);
    for (unsigned turn = 0;; turn ^= 1) {
        unsigned char* const buffer = buffers.get() + turn * kChunk;
        // The buffer's bytes from its last turn must be hashed before they are read over.
        sha1.Settle(1);
        // A read error ends the file like its end does.
        const std::size_t count = runtime.ReadStream(buffer, 1, kChunk, file.Get());
        if (count == 0)
            break;
        const int result = delta.AddDelta(buffer, static_cast<std::uint32_t>(count));
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        sha1.Append(buffer, static_cast<std::uint32_t>(count));
    }
    sha1.Settle();
    digest.Finish();
    int result = delta.SetFileDigest(digest);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    result = delta.Finish();
    if (result != RESULT_OK)
        return ReportError(result, nullptr, kFunction, __LINE__);
    return RESULT_OK;
}

void Korrin::ReturnDeltaComposition(const FileDelta& delta, int& digestCount, int& bufferCount,
                                    std::uint64_t& bufferSize)
{
    digestCount = static_cast<int>(delta.GetDigestDeltaCount());
    bufferCount = static_cast<int>(delta.GetBufferDeltaCount());
    bufferSize = delta.GetBufferDeltaSize();
}

} // namespace Vantrel
} // namespace Halvorn
