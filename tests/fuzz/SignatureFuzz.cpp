// Hostile signatures: the blob reader and the streamed reader must accept and refuse the same
// bytes and give the same signature, and a delta against what they accept must be made
// within the memory that signature and the new file justify.
#include "fuzz/FuzzSupport.h"

using namespace Halvorn::Vantrel;
using namespace KorrinFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    MemoryDigestIO fromBlob, fromFile;
    const bool blobRead = FromBlob(fromBlob, bytes);
    const std::wstring path = scratch.Put(L"signature", bytes);
    Require(blobRead == (ReadDigestFile(path, fromFile) == RESULT_OK));
    if (!blobRead)
        return 0;
    Require(BlobOf(fromBlob) == BlobOf(fromFile));
    // A server makes deltas against what its clients send: here, of the input itself.
    FileDigest digest(&fromBlob);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    Korrin().GenerateFileDelta(path, digest, delta);
    return 0;
}
