#include "BlobFiles.h"

#include "Failures.h"
#include "InputFile.h"
#include "Options.h"
#include "System.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

namespace {

// Hands the file `name` ("-": standard input) to `read`, which takes the library's name of
// a file or, for a stream, its descriptor; throws a Failure about `what` when it fails.
template <typename Read>
void ReadFrom(const std::string& name, const std::string& what, const std::string& kind, Read read)
{
    const bool standardInput = IsStandardStream(name);
    const std::string path = standardInput ? System::StandardInputPath() : name;
    const std::string source = standardInput ? "from standard input" : name;
    if (!path.empty()) {
        const std::string reason = WhyUnreadable(path);
        if (!reason.empty())
            throw Failure("cannot read " + what + " " + source + reason);
    }
    std::wstring wide;
    ToWide(path, wide);
    // Standard input that is no file is read as the stream it is: descriptor 0.
    if (read(path.empty() ? nullptr : &wide) != RESULT_OK)
        throw Failure("cannot read " + what + " " + source + ": it is not " + kind);
}

} // namespace

void ThrowBlobTooLarge(const std::string& what)
{
    throw Failure("cannot make " + what + " into a blob: it is larger than 4 GiB, or memory ran out");
}

void ReadSignature(const std::string& name, MemoryDigestIO& store)
{
    ReadFrom(name, "the signature", "a signature blob", [&](const std::wstring* path) {
        return path != nullptr ? ReadDigestFile(*path, store) : ReadDigestFile(0, store);
    });
}

void OpenDelta(const std::string& name, DeltaFileReader& reader)
{
    ReadFrom(name, "the delta", "a delta blob", [&](const std::wstring* path) {
        return path != nullptr ? reader.Open(*path) : reader.Attach(0);
    });
}

} // namespace Tool
} // namespace Halvorn
