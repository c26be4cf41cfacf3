#include "support/KernelConventions.h"

#include <cerrno>

namespace KorrinTest {

const KernelErrors& NativeKernelErrors()
{
    static const KernelErrors errors{ENOENT, ENOENT, ENOENT};
    return errors;
}

std::wstring TempNameStart(const std::wstring& prefix)
{
    return prefix;
}

} // namespace KorrinTest
