#include "support/KernelConventions.h"

#include <windows.h>

const KorrinTest::KernelErrors& KorrinTest::NativeKernelErrors()
{
    // GetTempFileNameW calls a missing directory an invalid one.
    static const KernelErrors errors{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_DIRECTORY};
    return errors;
}
