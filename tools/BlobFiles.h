// Signatures and deltas on disk: blobs as the library hands them out (malloc'd), and
// signatures and deltas read record by record from a file or standard input.
#ifndef KORRIN_TOOLS_BLOBFILES_H
#define KORRIN_TOOLS_BLOBFILES_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <Vantrel/Vantrel.h>

namespace Halvorn {
namespace Tool {

struct FreeBlob {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

struct Blob {
    std::unique_ptr<unsigned char, FreeBlob> bytes;
    std::uint32_t size = 0;
};

// What the library's WriteToBlob gives of `store`; a Failure about `what` when it cannot
// (no memory, or more than 4 GiB).
template <typename Store>
Blob BlobOf(Store& store, const std::string& what);

void ThrowBlobTooLarge(const std::string& what);

// Reads the signature `name` ("-": standard input) into `store`, which holds none yet.
// Throws a Failure about it.
void ReadSignature(const std::string& name, Vantrel::MemoryDigestIO& store);
// Opens the delta `name` ("-": standard input) in `reader`, which has its head read then.
// Throws a Failure about it.
void OpenDelta(const std::string& name, Vantrel::DeltaFileReader& reader);

template <typename Store>
Blob BlobOf(Store& store, const std::string& what)
{
    unsigned char* bytes = nullptr;
    Blob blob;
    store.WriteToBlob(&bytes, &blob.size);
    blob.bytes.reset(bytes);
    if (!blob.bytes)
        ThrowBlobTooLarge(what);
    return blob;
}

} // namespace Tool
} // namespace Halvorn

#endif
