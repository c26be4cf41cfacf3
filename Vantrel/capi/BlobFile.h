// A blob the library made with malloc, and writing one to a file, for the C interface.
#ifndef VANTREL_CAPI_BLOBFILE_H
#define VANTREL_CAPI_BLOBFILE_H

#include <cstdint>
#include <cstdlib>
#include <string>

namespace Halvorn {
namespace Vantrel {
namespace CApi {

// Freed however the scope is left.
struct MallocBlob {
    unsigned char* bytes = nullptr;
    std::uint32_t size = 0;
    MallocBlob() = default;
    MallocBlob(const MallocBlob&) = delete;
    MallocBlob& operator=(const MallocBlob&) = delete;
    ~MallocBlob() { std::free(bytes); }
};

// Writes the blob to the file at `path`, made or emptied first: RESULT_OK, KORRIN_NO_MEMORY
// when WriteToBlob could not make it, or RESULT_FAILED with a log line naming the path.
int WriteBlobFile(const MallocBlob& blob, const std::wstring& path, const char* function);

} // namespace CApi
} // namespace Vantrel
} // namespace Halvorn

#endif
