// The runtime library's file calls as the engine uses them: descriptors for signatures,
// rebuilding and the file window, buffered streams for whole-file deltas.
//
// Every call goes through the Runtime installed for the process, so a test can wrap the
// native one and make chosen calls fail (see tests/support). The calls keep the runtime's
// conventions: -1 (or null) on failure with errno set, never an exception.
// Not thread-safe to swap while calls are running; swapping is for tests.
#ifndef KORRIN_PLATFORM_RUNTIME_H
#define KORRIN_PLATFORM_RUNTIME_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace Halvorn {
namespace Platform {

struct FileStatus {
    std::uint64_t size = 0;
    std::int64_t modifiedTime = 0; // seconds since 1970-01-01 UTC
};

enum class OpenMode {
    ReadSequential, // read only, binary, sequential-access hint
    Read,           // read only, binary
    WriteCreate,    // write only, binary, create if absent, truncate
    WriteFresh,     // write only, binary: what the name held is removed (a directory excepted)
                    // and a new file made there, never through a link; fails if one appears meanwhile
};

class Runtime {
public:
    virtual ~Runtime() = default;

    // 0 on success, -1 with errno set.
    virtual int Stat(const std::wstring& path, FileStatus& status) = 0;
    // A descriptor, or -1 with errno set. Paths that cannot be converted fail like missing files.
    virtual int Open(const std::wstring& path, OpenMode mode) = 0;
    // Reads until `count` bytes arrived or the end of the file: the bytes read, 0 at the end,
    // -1 with errno set on failure, the position then where it was. A descriptor that cannot
    // seek back answers the bytes that arrived before a failure; the next call fails.
    virtual std::int64_t Read(int descriptor, void* buffer, std::uint32_t count) = 0;
    // Writes all `count` bytes: `count`, or -1 with errno set.
    virtual std::int64_t Write(int descriptor, const void* buffer, std::uint32_t count) = 0;
    // Positions at `offset` from the start of the file: the new position, or -1 with errno set.
    virtual std::int64_t Seek(int descriptor, std::int64_t offset) = 0;
    virtual int Close(int descriptor) = 0;

    // Opens for reading in binary mode; null with errno set on failure.
    virtual std::FILE* OpenStream(const std::wstring& path) = 0;
    // Items read, as fread; 0 at the end of the file and on error alike.
    virtual std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) = 0;
    virtual int CloseStream(std::FILE* stream) = 0;
};

// The runtime in force: the native one unless a test installed another.
Runtime& CurrentRuntime();
// Installs `runtime` (null: the native one) and returns the one it replaces.
Runtime* InstallRuntime(Runtime* runtime);
// The native binding of this platform, for wrappers that pass calls through.
Runtime& NativeRuntime();

} // namespace Platform
} // namespace Halvorn

#endif
