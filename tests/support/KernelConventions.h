// What the native kernel answers differs between systems in a few numbers and names; the
// portable kernel tests take them from here. One definition per system, in posix/ and windows/.
#ifndef KORRIN_TESTS_SUPPORT_KERNELCONVENTIONS_H
#define KORRIN_TESTS_SUPPORT_KERNELCONVENTIONS_H

#include <cstdint>
#include <string>

namespace KorrinTest {

struct KernelErrors {
    std::uint32_t missingFile;          // a move, copy or removal of a file that is not there
    std::uint32_t missingDirectory;     // a copy into a directory that is not there
    std::uint32_t missingTempDirectory; // a unique temporary file in a directory that is not there
};
const KernelErrors& NativeKernelErrors();

// How a unique temporary file's name begins when made with `prefix`: the system may keep
// only part of it.
std::wstring TempNameStart(const std::wstring& prefix);

} // namespace KorrinTest

#endif
