// Rebuilding from hostile deltas. The first byte chooses the road (its low bit: the blob
// reader or the streamed one; the next: a new file or in place) and the old file's length
// (the rest of it, times 16 bytes, taken from the input's start); the delta is the rest.
// A rebuild fails cleanly or succeeds, and in place a failure leaves the old file as it was.
#include "fuzz/FuzzSupport.h"

using namespace Halvorn::Vantrel;
using namespace KorrinFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool streamed = data[0] & 1, inPlace = data[0] & 2;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string old = bytes.substr(0, (data[0] >> 2) * 16u);
    const std::wstring oldPath = scratch.Put(L"old", old);
    const std::wstring deltaPath = scratch.Put(L"delta", bytes.substr(old.size()));
    MemoryDeltaIO blob;
    DeltaFileReader reader;
    if (streamed)
        reader.Open(deltaPath);
    else
        FromBlob(blob, bytes.substr(old.size()));
    FileDelta delta(streamed ? static_cast<IDeltaIO*>(&reader) : &blob);
    if (!inPlace)
        Korrin().ApplyFileDelta(oldPath, delta, scratch.Path(L"new"));
    else if (Korrin().ApplyFileDelta(oldPath, delta) != RESULT_OK)
        Require(scratch.ReadFile(L"old") == old);
    return 0;
}
