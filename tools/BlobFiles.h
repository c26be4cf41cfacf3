// Blobs in memory as the library hands them out (malloc'd), and read whole from a file or
// standard input.
#ifndef KORRIN_TOOLS_BLOBFILES_H
#define KORRIN_TOOLS_BLOBFILES_H

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace Halvorn {
namespace Tool {

struct FreeBlob {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

struct Blob {
    std::unique_ptr<unsigned char, FreeBlob> bytes;
    std::uint32_t size = 0;
};

// The whole of the file `name` ("-": standard input). Blobs are at most 4 GiB. Throws a
// Failure about reading `what` ("the signature") from it.
Blob ReadBlob(const std::string& name, const std::string& what);

// What the library's WriteToBlob gives of `store`; a Failure about `what` when it cannot
// (no memory, or more than 4 GiB).
template <typename Store>
Blob BlobOf(Store& store, const std::string& what);

void ThrowBlobTooLarge(const std::string& what);

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
