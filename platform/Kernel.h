// The operating system calls that in-place application and temporary file names need,
// with the arguments and results of the home platform's kernel calls: a move that replaces
// its target, a copy over an existing target, a delete, the last error number, the user's
// temporary directory and a unique temporary file in it.
//
// As with Runtime, every call goes through the Kernel installed for the process, so tests
// can make a move or a copy fail.
#ifndef KORRIN_PLATFORM_KERNEL_H
#define KORRIN_PLATFORM_KERNEL_H

#include <cstdint>

namespace Halvorn {
namespace Platform {

class Kernel {
public:
    virtual ~Kernel() = default;

    // Moves `from` onto `to`, replacing an existing `to`, whose permission bits the new file
    // takes (on POSIX also its owner and group as far as allowed, set-ID bits with them, and
    // extended attributes). The content is on stable storage before the name moves.
    // False on failure, with LastError() telling why.
    virtual bool MoveReplacing(const wchar_t* from, const wchar_t* to) = 0;
    // Copies the bytes of `from` over `to`, creating it if need be, and leaves it with exactly
    // those bytes. On POSIX an existing `to` is kept whole as long as possible (see
    // PosixKernel.cpp) and signals wait until the copy is done. False on failure.
    virtual bool CopyOver(const wchar_t* from, const wchar_t* to) = 0;
    virtual bool Remove(const wchar_t* path) = 0;
    // The error number of the last failed call of this thread.
    virtual std::uint32_t LastError() = 0;
    // Writes the temporary directory, with a trailing separator, into `buffer` of `size`
    // characters. Returns its length without the terminator; when it does not fit, the size
    // needed including the terminator (so a result >= size means nothing was written); 0 on failure.
    virtual std::uint32_t TempDirectory(std::uint32_t size, wchar_t* buffer) = 0;
    // Creates a new empty file named `directory` + `prefix` + a unique part and writes its path
    // into `buffer`, which holds `size` characters. Returns non-zero on success, 0 on failure
    // (among them a name that would not fit).
    virtual std::uint32_t UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                         std::uint32_t size) = 0;
};

Kernel& CurrentKernel();
Kernel* InstallKernel(Kernel* kernel);
Kernel& NativeKernel();

} // namespace Platform
} // namespace Halvorn

#endif
