// korrin signature OLD SIG [--block-size N|auto]
#include <string>

#include <Vantrel/Vantrel.h>

#include "BlobFiles.h"
#include "Commands.h"
#include "CountingStores.h"
#include "Failures.h"
#include "Format.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "Progress.h"
#include "Report.h"

namespace Halvorn {
namespace Tool {

namespace {

constexpr std::uint32_t kSmallestAutoBlock = 512;
constexpr std::uint32_t kLargestAutoBlock = 65536;

// The power of two nearest the square root of the size (nearest as logarithms go): a
// signature and a delta of unchanged content then both grow like that root.
std::uint32_t AutoBlockSize(std::uint64_t size)
{
    std::uint32_t block = kSmallestAutoBlock;
    // Past 2^(2k+1) bytes, the root is nearer to 2^(k+1) than to 2^k.
    while (block < kLargestAutoBlock && size >= 2 * std::uint64_t{block} * block)
        block *= 2;
    return block;
}

} // namespace

void Sign(const Options& options)
{
    using namespace Vantrel;
    RefuseBlobOnTerminal(options.operands[1], "the signature", "signature");
    RefuseInputAsOutput(options.operands[1], "the signature", {{options.operands[0], "the old file"}});
    OutputFile out(options.operands[1], "the signature");
    const InputFile old(options.operands[0], "the old file");
    const std::uint64_t size = old.Info().size;

    std::uint32_t blockSize = options.blockSize;
    if (options.autoBlockSize) {
        blockSize = AutoBlockSize(size);
        Note(options, "block size " + std::to_string(blockSize) + " (auto, for " + FormatSize(size) + ")");
    }

    Korrin engine;
    engine.SetWindowSize(blockSize);
    CountingDigestIO store;
    Meter meter("signing", size, WantsMeter(size, options.quiet));
    store.CountInto(&meter, blockSize);
    FileDigest digest(&store);
    digest.SetVersion(1);  // the only version rebuilding accepts
    if (engine.GenerateFileDigest(old.WidePath(), digest) != RESULT_OK)
        throw Failure("cannot sign " + old.Display() + old.Reason());
    meter.Finish();

    const Blob blob = BlobOf(store, "the signature");
    out.Write(blob.bytes.get(), blob.size);
    out.Commit();
}

} // namespace Tool
} // namespace Halvorn
