// korrin info FILE
#include <cerrno>
#include <cstdio>
#include <string>

#include <Vantrel/Vantrel.h>

#include "Commands.h"
#include "Failures.h"
#include "Format.h"
#include "InputFile.h"
#include "LibraryLog.h"
#include "Options.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

// Both kinds start with the same records and share tags, so a file of one kind may read
// partly, or even wholly, as the other; what settles it is that a file of a kind holds
// exactly the records its content needs, and so has exactly the size they add up to.
bool IsDelta(DeltaFileReader& delta, const InputFile& input)
{
    if (delta.Open(input.WidePath()) != RESULT_OK)
        return false;
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    while (delta.ReadDelta(&cursor, entry) == RESULT_OK) {
    }
    return !delta.Damaged() && delta.Tally().bytes == input.Info().size;
}

bool IsSignature(MemoryDigestIO& signature, const InputFile& input)
{
    return ReadDigestFile(input.WidePath(), signature) == RESULT_OK &&
           signature.GetDigestSize() == input.Info().size;
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
    if (!IsStandardStream(name)) {
        const std::string reason = WhyUnreadable(name);
        if (!reason.empty())
            throw Failure("cannot read the blob " + shown + reason);
    }
    // Read twice at most, once as each kind: a pipe is kept on disk first.
    const InputFile input(name, "the file");

    DeltaFileReader delta;
    MemoryDigestIO signature;
    const bool isDelta = IsDelta(delta, input);
    if (!isDelta && !IsSignature(signature, input))
        throw Failure("cannot show " + shown + ": it is not a signature or delta blob");
    // The reading that did not fit logged its refusal: an answer, not a fault.
    ForgetLibraryLog();

    System::TextOutput();
    const std::string bytes = std::to_string(input.Info().size);
    if (isDelta) {
        System::WriteText(stdout, shown + ": delta blob of " + bytes + " bytes\n");
        PrintProperties(delta);
        const DeltaTally tally = delta.Tally();
        std::uint64_t size = 0;
        delta.ReadFileSize(size);
        std::printf("  copies          %llu\n", static_cast<unsigned long long>(tally.copies));
        std::printf("  literals        %llu, %llu bytes\n", static_cast<unsigned long long>(tally.literals),
                    static_cast<unsigned long long>(tally.literalBytes));
        std::printf("  travels         %s of the file's size\n", FormatShare(tally.bytes, size).c_str());
    } else {
        System::WriteText(stdout, shown + ": signature blob of " + bytes + " bytes\n");
        PrintProperties(signature);
        // A signature's size counts 25 bytes a group beyond the 49 of its fixed records.
        std::printf("  block groups    %llu\n", static_cast<unsigned long long>((input.Info().size - 49) / 25));
    }
    if (std::fflush(stdout) != 0)
        throw Failure("cannot write to standard output: " + SystemError(errno));
}

} // namespace Tool
} // namespace Halvorn
