// korrin info FILE
#include <cerrno>
#include <cstdio>
#include <string>

#include <Vantrel/Vantrel.h>

#include "BlobFiles.h"
#include "Commands.h"
#include "Failures.h"
#include "Format.h"
#include "LibraryLog.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

// Both kinds start with the same records and share tags, so a blob of one kind may read
// partly, or even wholly, as the other; what settles it is that a blob of a kind holds
// exactly the records its content needs, and so has exactly the size the store computes.
bool IsDelta(MemoryDeltaIO& delta, const Blob& blob)
{
    return delta.ReadFromBlob(blob.bytes.get(), blob.size) == RESULT_OK && delta.GetDeltaSize() == blob.size;
}

bool IsSignature(MemoryDigestIO& signature, const Blob& blob)
{
    return signature.ReadFromBlob(blob.bytes.get(), blob.size) == RESULT_OK &&
           signature.GetDigestSize() == blob.size;
}

template <typename Store>
void PrintProperties(Store& store)
{
    std::uint32_t version = 0;
    std::uint32_t window = 0;
    std::uint64_t size = 0;
    std::int64_t time = 0;
    _sha1_hash sha1 = {};
    store.ReadVersion(version);
    store.ReadWindowSize(window);
    store.ReadFileSize(size);
    store.ReadFileModifiedTime(time);
    store.ReadFileDigest(sha1);
    std::printf("  format version  %u\n", version);
    std::printf("  block size      %u\n", window);
    std::printf("  file size       %llu (%s)\n", static_cast<unsigned long long>(size), FormatSize(size).c_str());
    std::printf("  modified        %s\n", FormatUtc(time).c_str());
    std::printf("  SHA-1           %s\n", FormatHex(sha1.bytes, sizeof sha1.bytes).c_str());
}

} // namespace

void ShowInfo(const Options& options)
{
    const std::string& name = options.operands[0];
    const std::string shown = IsStandardStream(name) ? "standard input" : name;
    const Blob blob = ReadBlob(name, "the blob");

    MemoryDeltaIO delta;
    MemoryDigestIO signature;
    const bool isDelta = IsDelta(delta, blob);
    if (!isDelta && !IsSignature(signature, blob))
        throw Failure("cannot show " + shown + ": it is not a signature or delta blob");
    // The reading that did not fit logged its refusal: an answer, not a fault.
    ForgetLibraryLog();

    System::TextOutput();
    if (isDelta) {
        System::WriteText(stdout, shown + ": delta blob of " + std::to_string(blob.size) + " bytes\n");
        PrintProperties(delta);
        FileDelta facade(&delta);
        int copies = 0;
        int literals = 0;
        std::uint64_t literalBytes = 0;
        Korrin().ReturnDeltaComposition(facade, copies, literals, literalBytes);
        std::uint64_t size = 0;
        delta.ReadFileSize(size);
        std::printf("  copies          %d\n", copies);
        std::printf("  literals        %d, %llu bytes\n", literals, static_cast<unsigned long long>(literalBytes));
        std::printf("  travels         %s of the file's size\n", FormatShare(blob.size, size).c_str());
    } else {
        System::WriteText(stdout, shown + ": signature blob of " + std::to_string(blob.size) + " bytes\n");
        PrintProperties(signature);
        DigestMap table;
        signature.ReadDigest(table);
        std::size_t groups = 0;
        for (const auto& entry : table)
            groups += entry.second.size();
        std::printf("  block groups    %zu\n", groups);
    }
    if (std::fflush(stdout) != 0)
        throw Failure("cannot write to standard output: " + SystemError(errno));
}

} // namespace Tool
} // namespace Halvorn
