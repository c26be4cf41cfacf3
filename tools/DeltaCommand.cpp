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
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

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

// The delta goes out as it is made: into the output's partial file, or to standard output
// or the device or pipe that the output is.
void Open(OutputFile& out, DeltaFileWriter& writer)
{
    std::wstring path;
    const int descriptor = out.Descriptor();
    if (descriptor < 0)
        ToWide(out.PathForLibrary(), path);
    if ((descriptor >= 0 ? writer.Attach(descriptor) : writer.Create(path)) != RESULT_OK)
        throw Failure("cannot write the delta " + out.Display());
}

// Why making the delta failed: writing it, or else what `reason` finds.
template <typename Reason>
void Fail(int result, const DeltaFileWriter& writer, const OutputFile& out, const std::string& what,
          Reason reason)
{
    if (writer.Failed())
        throw Failure("cannot write the delta " + out.Display() +
                      (result == RESULT_WRITE_ENOSPC ? ": the disk is full" : ""));
    throw Failure("cannot make the " + what + reason());
}

} // namespace

void MakeDelta(const Options& options)
{
    const Stopwatch clock;
    RefuseBlobOnTerminal(options.operands[2], "the delta", "delta");
    RefuseInputAsOutput(options.operands[2], "the delta",
                        {{options.operands[0], "the signature"}, {options.operands[1], "the new file"}});
    OutputFile out(options.operands[2], "the delta");

    // The plain store, not a derived one: only then does delta generation take its fast path.
    MemoryDigestIO signature;
    ReadSignature(options.operands[0], signature);
    const InputFile now(options.operands[1], "the new file");
    const std::uint64_t size = now.Info().size;

    std::uint32_t window = 0;
    signature.ReadWindowSize(window);
    CountingDeltaWriter writer;
    Open(out, writer);
    Meter meter("comparing", size, WantsMeter(size, options.quiet));
    writer.CountInto(&meter, window);
    FileDigest digest(&signature);
    FileDelta delta(&writer);
    Korrin engine;
    const int result = engine.GenerateFileDelta(now.WidePath(), digest, delta);
    if (result != RESULT_OK) {
        Fail(result, writer, out, "delta of " + now.Display(), [&] {
            const std::string reason = now.Reason();
            return reason.empty() ? SignatureReason(signature) : reason;
        });
    }
    meter.Finish();
    out.Commit();
    std::uint64_t fileSize = 0;
    delta.GetFileSize(fileSize);
    Summarise(options, "delta of " + now.Display(), fileSize, writer.Tally().bytes, clock.Seconds());
}

void MakeWholeDelta(const Options& options)
{
    const Stopwatch clock;
    RefuseBlobOnTerminal(options.operands[1], "the delta", "whole");
    RefuseInputAsOutput(options.operands[1], "the delta", {{options.operands[0], "the new file"}});
    OutputFile out(options.operands[1], "the delta");
    const InputFile now(options.operands[0], "the new file");
    const std::uint64_t size = now.Info().size;

    CountingDeltaWriter writer;
    Open(out, writer);
    Meter meter("copying", size, WantsMeter(size, options.quiet));
    writer.CountInto(&meter, 0);
    FileDelta delta(&writer);
    // What rebuilding asks of any delta; the block size does not matter, as nothing is copied.
    // The head goes out before the file is read: the size is the one the file has now.
    delta.SetVersion(1);
    delta.SetWindowSize(0);
    delta.SetFileSize(size);
    delta.SetFileModifiedTime(now.Info().modifiedTime);
    Korrin engine;
    const int result = engine.GenerateDeltaForWholeFile(now.WidePath(), delta);
    if (result != RESULT_OK)
        Fail(result, writer, out, "whole-file delta of " + now.Display(), [&] { return now.Reason(); });
    meter.Finish();
    // The SHA-1 value covers the bytes that were read.
    if (meter.Done() != size)
        throw Failure("cannot make the whole-file delta of " + now.Display() + ": it changed while it was read");
    out.Commit();
    Summarise(options, "whole-file delta of " + now.Display(), size, writer.Tally().bytes, clock.Seconds());
}

} // namespace Tool
} // namespace Halvorn
