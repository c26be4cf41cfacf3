#include <Vantrel/GenerateTempFilename.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"
#include "platform/Kernel.h"

int GenerateTempFilename(std::wstring& name)
{
    using Halvorn::Vantrel::ReportError;
    using Halvorn::Vantrel::RESULT_FAILED;
    constexpr std::uint32_t kLength = 260;
    constexpr const char* kFunction = "GenerateTempFilename";

    Halvorn::Platform::Kernel& kernel = Halvorn::Platform::CurrentKernel();
    wchar_t directory[kLength] = {};
    wchar_t file[kLength] = {};
    // A directory whose name does not fit is a failure, never a cut-off name.
    const std::uint32_t length = kernel.TempDirectory(kLength, directory);
    if (length == 0 || length >= kLength)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
    if (kernel.UniqueTempFile(directory, L"diff", file, kLength) == 0)
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);
    name = file;
    return Halvorn::Vantrel::RESULT_OK;
}
