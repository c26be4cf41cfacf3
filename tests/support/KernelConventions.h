// The error numbers the native kernel answers differ between systems; the portable kernel
// tests take them from here. One definition per system, in posix/ and windows/.
#ifndef KORRIN_TESTS_SUPPORT_KERNELCONVENTIONS_H
#define KORRIN_TESTS_SUPPORT_KERNELCONVENTIONS_H

#include <cstdint>

namespace KorrinTest {

struct KernelErrors {
    std::uint32_t missingFile;          // a move, copy or removal of a file that is not there
    std::uint32_t missingDirectory;     // a copy into a directory that is not there
    std::uint32_t missingTempDirectory; // a unique temporary file in a directory that is not there
};
const KernelErrors& NativeKernelErrors();

} // namespace KorrinTest

#endif
