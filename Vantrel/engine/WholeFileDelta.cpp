// A delta without a signature: the whole file as literal instructions of at most 65535
// bytes, with its SHA-1 value; and the make-up of any delta.
#include <Vantrel/Korrin.h>

#include <memory>
#include <new>

#include <Vantrel/FileDelta.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

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

    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kChunk]);
    if (!buffer)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);

    SHA1Digest digest;
    std::size_t count;
    // A read error ends the file like its end does.
    while ((count = runtime.ReadStream(buffer.get(), 1, kChunk, file.Get())) != 0) {
        const int result = delta.AddDelta(buffer.get(), static_cast<std::uint32_t>(count));
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        digest.Append(buffer.get(), static_cast<std::uint32_t>(count));
    }
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
