// Signature generation: one sequential pass over the old file, each block hashed three ways
// (rolling checksum, MD5, and the running SHA-1 of the whole file) from the same buffer.
#include <Vantrel/Korrin.h>

#include <memory>

#include <Vantrel/FileDigest.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::GenerateFileDigest";
}

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

    SHA1Digest fileDigest;
    std::unique_ptr<unsigned char[]> block(new unsigned char[window]);
    std::uint32_t index = 0;
    for (;;) {
        const std::int64_t got = runtime.Read(file.Get(), block.get(), window);
        if (got < 0)
            return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
        if (got == 0)
            break;
        const auto length = static_cast<std::uint32_t>(got);

        MD5Digest md5;
        Rcheck32Digest checksum;
        fileDigest.Append(block.get(), length);
        md5.Append(block.get(), length);
        checksum.Start(block.get(), length);
        md5.Finish();
        checksum.Finish();
        std::uint32_t weak = 0;
        checksum.GetDigest(weak);
        _md5_hash strong;
        md5.GetDigest(strong);

        result = digest.AddDigest(index, weak, strong);
        if (result != RESULT_OK)
            return ReportError(result, nullptr, kFunction, __LINE__);
        ++index;
        // Reads fill the block unless the file ends: a short block is the last.
        if (length < window)
            break;
    }

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
