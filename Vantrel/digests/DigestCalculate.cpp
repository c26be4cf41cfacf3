#include <Vantrel/DigestCalculate.h>

#include <memory>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/digests/Sha1Beside.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;

int digest_calculate(const std::wstring& path, SHA1Digest& digest)
{
    constexpr std::uint32_t kChunk = 4096;
    // Chunks gather in two buffers that take turns: the SHA-1 of one full buffer is computed
    // on a second thread while the other fills.
    constexpr std::uint32_t kBuffer = 64 * kChunk;
    Halvorn::Platform::Runtime& runtime = Halvorn::Platform::CurrentRuntime();

    Halvorn::ScopedFileDescriptor file(runtime.Open(path, Halvorn::Platform::OpenMode::ReadSequential));
    if (file.Get() < 0)
        return RESULT_FAILED;

    std::unique_ptr<unsigned char[]> buffers(new unsigned char[2 * kBuffer]);
    SHA1Digest local;
    Halvorn::Vantrel::Sha1Beside sha1(local);
    unsigned char* buffer = buffers.get();
    std::uint32_t filled = 0;
    std::int64_t got;
    while ((got = runtime.Read(file.Get(), buffer + filled, kChunk)) > 0) {
        filled += static_cast<std::uint32_t>(got);
        if (kBuffer - filled < kChunk) {
            sha1.Append(buffer, filled);
            buffer = buffer == buffers.get() ? buffer + kBuffer : buffers.get();
            filled = 0;
            // The other buffer's bytes, given a turn ago, must be hashed before it fills again.
            sha1.Settle(1);
        }
    }
    if (got < 0)
        return RESULT_FAILED;
    sha1.Append(buffer, filled);
    sha1.Settle();

    // A failing finish still hands over the (unfinished) digest: the result stays success.
    local.Finish();
    digest = local;
    return RESULT_OK;
}
