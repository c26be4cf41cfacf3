#include "support/KernelConventions.h"

#include <cerrno>

const KorrinTest::KernelErrors& KorrinTest::NativeKernelErrors()
{
    static const KernelErrors errors{ENOENT, ENOENT, ENOENT};
    return errors;
}
