// Hostile deltas read both ways: what the streamed reader accepts, the blob reader accepts
// too, with the same properties and instructions. (The streamed reader refuses a little
// more: a property changed once the instructions have begun.)
#include "fuzz/FuzzSupport.h"

using namespace Halvorn::Vantrel;
using namespace KorrinFuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    MemoryDeltaIO fromBlob, fromFile;
    const bool blobRead = FromBlob(fromBlob, bytes);
    DeltaFileReader reader;
    bool fileRead = reader.Open(scratch.Put(L"delta", bytes)) == RESULT_OK;
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    while (fileRead && reader.ReadDelta(&cursor, entry) == RESULT_OK) {
        if (entry->type == DigestDelta)
            fromFile.WriteDelta(static_cast<const DigestDeltaEntry&>(*entry).blockIndex);
        else
            fromFile.WriteDelta(static_cast<const BufferDeltaEntry&>(*entry).buffer, entry->size);
    }
    std::uint32_t version = 0, window = 0;
    std::uint64_t fileSize = 0;
    std::int64_t time = 0;
    _sha1_hash sha1{};
    fileRead = fileRead && !reader.Damaged() && reader.ReadVersion(version) == RESULT_OK &&
               reader.ReadWindowSize(window) == RESULT_OK && reader.ReadFileSize(fileSize) == RESULT_OK &&
               reader.ReadFileModifiedTime(time) == RESULT_OK && reader.ReadFileDigest(sha1) == RESULT_OK;
    Require(blobRead || !fileRead);
    if (!fileRead)
        return 0;
    fromFile.WriteVersion(version);
    fromFile.WriteWindowSize(window);
    fromFile.WriteFileSize(fileSize);
    fromFile.WriteFileModifiedTime(time);
    fromFile.WriteFileDigest(sha1);
    Require(BlobOf(fromBlob) == BlobOf(fromFile));
    return 0;
}
