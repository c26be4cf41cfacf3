// korrin delta SIG NEW DELTA, and korrin whole NEW DELTA
#include <string>

#include <Vantrel/Vantrel.h>

#include "BlobFiles.h"
#include "Commands.h"
#include "CountingStores.h"
#include "Failures.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "Progress.h"
#include "Report.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

std::string Source(const std::string& operand)
{
    return IsStandardStream(operand) ? "from standard input" : operand;
}

// The delta generator refuses blocks it cannot slide over, unless the old file was empty.
std::string SignatureReason(MemoryDigestIO& signature)
{
    std::uint32_t window = 0;
    std::uint64_t oldSize = 0;
    signature.ReadWindowSize(window);
    signature.ReadFileSize(oldSize);
    if (oldSize != 0 && (window == 0 || window > 2147483647u))
        return ": the signature's block size " + std::to_string(window) + " cannot be used";
    return "";
}

void Finish(const Options& options, OutputFile& out, CountingDeltaIO& store, const std::string& headline,
            std::uint64_t fileSize, const Stopwatch& clock)
{
    const Blob blob = BlobOf(store, "the delta");
    out.Write(blob.bytes.get(), blob.size);
    out.Commit();
    Summarise(options, headline, fileSize, blob.size, clock.Seconds());
}

} // namespace

void MakeDelta(const Options& options)
{
    const Stopwatch clock;
    const std::string& signatureName = options.operands[0];
    RefuseBlobOnTerminal(options.operands[2], "the delta", "delta");
    OutputFile out(options.operands[2], "the delta");

    // The plain store, not a derived one: only then does delta generation take its fast path.
    MemoryDigestIO signature;
    {
        const Blob blob = ReadBlob(signatureName, "the signature");
        if (signature.ReadFromBlob(blob.bytes.get(), blob.size) != RESULT_OK)
            throw Failure("cannot read the signature " + Source(signatureName) + ": it is not a signature blob");
    }
    const InputFile now(options.operands[1], "the new file");
    const std::uint64_t size = now.Info().size;

    std::uint32_t window = 0;
    signature.ReadWindowSize(window);
    CountingDeltaIO store;
    Meter meter("comparing", size, WantsMeter(size, options.quiet));
    store.CountWrites(&meter, window);
    FileDigest digest(&signature);
    FileDelta delta(&store);
    Korrin engine;
    if (engine.GenerateFileDelta(now.WidePath(), digest, delta) != RESULT_OK) {
        std::string reason = now.Reason();
        if (reason.empty())
            reason = SignatureReason(signature);
        throw Failure("cannot make the delta of " + now.Display() + reason);
    }
    meter.Finish();

    std::uint64_t fileSize = 0;
    delta.GetFileSize(fileSize);
    Finish(options, out, store, "delta of " + now.Display(), fileSize, clock);
}

void MakeWholeDelta(const Options& options)
{
    const Stopwatch clock;
    RefuseBlobOnTerminal(options.operands[1], "the delta", "whole");
    OutputFile out(options.operands[1], "the delta");
    const InputFile now(options.operands[0], "the new file");
    const std::uint64_t size = now.Info().size;

    CountingDeltaIO store;
    Meter meter("copying", size, WantsMeter(size, options.quiet));
    store.CountWrites(&meter, 0);
    FileDelta delta(&store);
    // What rebuilding asks of any delta; the block size does not matter, as nothing is copied.
    delta.SetVersion(1);
    delta.SetWindowSize(0);
    Korrin engine;
    if (engine.GenerateDeltaForWholeFile(now.WidePath(), delta) != RESULT_OK)
        throw Failure("cannot make the whole-file delta of " + now.Display() + now.Reason());
    meter.Finish();
    // The bytes that were read, which the SHA-1 value covers, however the file changed since.
    delta.SetFileSize(meter.Done());
    delta.SetFileModifiedTime(now.Info().modifiedTime);

    Finish(options, out, store, "whole-file delta of " + now.Display(), meter.Done(), clock);
}

} // namespace Tool
} // namespace Halvorn
