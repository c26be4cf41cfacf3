#include <Vantrel/DigestCalculate.h>

#include <memory>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;

int digest_calculate(const std::wstring& path, SHA1Digest& digest)
{
    constexpr std::uint32_t kChunk = 4096;
    Halvorn::Platform::Runtime& runtime = Halvorn::Platform::CurrentRuntime();

    Halvorn::ScopedFileDescriptor file(runtime.Open(path, Halvorn::Platform::OpenMode::ReadSequential));
    if (file.Get() < 0)
        return RESULT_FAILED;

    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
    SHA1Digest local;
    std::int64_t got;
    while ((got = runtime.Read(file.Get(), buffer.get(), kChunk)) > 0)
        local.Append(buffer.get(), static_cast<std::uint32_t>(got));
    if (got < 0)
        return RESULT_FAILED;

    // A failing finish still hands over the (unfinished) digest: the result stays success.
    local.Finish();
    digest = local;
    return RESULT_OK;
}
