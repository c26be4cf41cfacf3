#include "Vantrel/capi/BlobFile.h"

#include <Vantrel/ResultCodes.h>
#include <Vantrel/korrin_c.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {
namespace CApi {

int WriteBlobFile(const MallocBlob& blob, const std::wstring& path, const char* function)
{
    if (blob.bytes == nullptr)
        return ReportError(KORRIN_NO_MEMORY, L"no memory for the blob", function, __LINE__);
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    ScopedFileDescriptor file(runtime.Open(path, Platform::OpenMode::WriteCreate));
    if (file.Get() < 0 || runtime.Write(file.Get(), blob.bytes, blob.size) < 0 || runtime.Close(file.Release()) != 0)
        return ReportError(RESULT_FAILED, path.c_str(), function, __LINE__);
    return RESULT_OK;
}

} // namespace CApi
} // namespace Vantrel
} // namespace Halvorn
