// Applying a delta: to a new file, or in place through a temporary file beside the target
// that replaces it only once it is complete and checked.
#include <Vantrel/Korrin.h>

#include <sstream>

#include <Vantrel/FileDelta.h>
#include <Vantrel/ResultCodes.h>

#include "Vantrel/delta/FreshNewFile.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/FileLock.h"
#include "platform/Kernel.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kFunction = "Halvorn::Vantrel::Korrin::ApplyFileDelta";

std::wstring WithErrorNumber(const wchar_t* text, std::uint32_t error)
{
    std::wostringstream message;
    message << text << static_cast<unsigned long>(error);
    return message.str();
}

} // namespace

int Korrin::ApplyFileDelta(const std::wstring& oldPath, const FileDelta& delta, const std::wstring& newPath)
{
    const int result = delta.GenerateFile(oldPath, newPath);
    if (result != RESULT_OK)
        return ReportError(result, oldPath.c_str(), kFunction, __LINE__);
    return RESULT_OK;
}

int Korrin::ApplyFileDelta(const std::wstring& path, const FileDelta& delta, FileLock* lock)
{
    Platform::Kernel& kernel = Platform::CurrentKernel();
    const std::wstring temporary = path + L".dfttemp";

    int result;
    {
        // The temporary name is made up here, so whatever is found there is no one's to keep:
        // a link there must not lead the rebuild into another file.
        const FreshNewFile fresh;
        result = ApplyFileDelta(path, delta, temporary);
    }
    if (result != RESULT_OK) {
        kernel.Remove(temporary.c_str());
        return ReportError(result, nullptr, kFunction, __LINE__);
    }
    // Refused: the target stays as it was, and the complete new content stays beside it.
    if (lock != nullptr && !lock->Create(FileLock::Exclusive, path.c_str()))
        return ReportError(RESULT_FAILED, nullptr, kFunction, __LINE__);

    if (kernel.MoveReplacing(temporary.c_str(), path.c_str()))
        return RESULT_OK;
    ReportError(RESULT_FAILED,
                WithErrorNumber(L"file move failed. Windows error code: ", kernel.LastError()).c_str(),
                kFunction, __LINE__);

    if (kernel.CopyOver(temporary.c_str(), path.c_str())) {
        kernel.Remove(temporary.c_str());
        return RESULT_OK;
    }
    const std::wstring message =
        WithErrorNumber(L"file copy failed. Windows error code: ", kernel.LastError());
    kernel.Remove(temporary.c_str());
    return ReportError(RESULT_FAILED, message.c_str(), kFunction, __LINE__);
}

int Korrin::ApplyFileDelta(const std::wstring& path, const FileDelta& delta)
{
    const int result = ApplyFileDelta(path, delta, nullptr);
    if (result != RESULT_OK)
        return ReportError(result, path.c_str(), kFunction, __LINE__);
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
