#include "support/KernelConventions.h"

#include <windows.h>

namespace KorrinTest {

const KernelErrors& NativeKernelErrors()
{
    // GetTempFileNameW calls a missing directory an invalid one.
    static const KernelErrors errors{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DIRECTORY};
    return errors;
}

std::wstring TempNameStart(const std::wstring& prefix)
{
    // GetTempFileNameW keeps the first three characters of the prefix.
    return prefix.substr(0, 3);
}

} // namespace KorrinTest
