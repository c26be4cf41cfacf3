// The whole road over any old and new file and any window size: signature, its blob, a
// delta against what the blob gives back, its blob, and the rebuild must give the new file
// byte for byte. The first two bytes give the window size (1 to 1024); the rest is cut
// where the third byte says into the old file and an insertion, and the new file is the
// old one's head (up to where the fourth byte says), the insertion, and the old one's tail.
#include "fuzz/FuzzSupport.h"

using namespace Halvorn::Vantrel;
using namespace KorrinFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 4, size - 4);
    const std::string oldBytes = rest.substr(0, rest.size() * data[2] / 255);
    const std::size_t cut = oldBytes.size() * data[3] / 255;
    const std::string newBytes =
        oldBytes.substr(0, cut) + rest.substr(oldBytes.size()) + oldBytes.substr(cut / 2);
    const std::wstring oldPath = scratch.Put(L"old", oldBytes), newPath = scratch.Put(L"new", newBytes);

    Korrin engine;
    engine.SetWindowSize(1 + (data[0] | data[1] << 8) % 1024);
    MemoryDigestIO signature, received;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    Require(engine.GenerateFileDigest(oldPath, digest) == RESULT_OK);
    Require(FromBlob(received, BlobOf(signature)));
    FileDigest theirs(&received);
    MemoryDeltaIO changes, arrived;
    FileDelta delta(&changes);
    Require(engine.GenerateFileDelta(newPath, theirs, delta) == RESULT_OK);
    Require(FromBlob(arrived, BlobOf(changes)));
    FileDelta toApply(&arrived);
    Require(engine.ApplyFileDelta(oldPath, toApply, scratch.Path(L"rebuilt")) == RESULT_OK);
    Require(scratch.ReadFile(L"rebuilt") == newBytes);
    return 0;
}
