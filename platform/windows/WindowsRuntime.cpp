// The runtime file calls bound to the Microsoft C runtime. Paths are UTF-16 here as in the
// library's interface (wchar_t is 16 bits wide), so they go through unchanged.
#include "platform/Runtime.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace Halvorn {
namespace Platform {

namespace {

// The open flags and mode of the home platform, spelled by their runtime names:
// _O_RDONLY 0, _O_WRONLY 0x1, _O_CREAT 0x100, _O_SEQUENTIAL 0x20, _O_BINARY 0x8000, and
// _S_IWRITE 0x80 (a new file is not read-only). Truncation is added to the write mode so
// that rebuilding into an existing file leaves exactly the bytes written.
constexpr int kReadSequential = _O_BINARY | _O_SEQUENTIAL | _O_RDONLY;
constexpr int kRead = _O_BINARY | _O_RDONLY;
constexpr int kWriteCreate = _O_BINARY | _O_CREAT | _O_WRONLY | _O_TRUNC;
constexpr int kWriteFresh = _O_BINARY | _O_CREAT | _O_WRONLY | _O_EXCL;
constexpr int kNewFileMode = _S_IWRITE;
static_assert(kReadSequential == 0x8020 && kRead == 0x8000 && (kWriteCreate & ~_O_TRUNC) == 0x8101 &&
                  kNewFileMode == 0x80,
              "the runtime's flag values");

// The calls take terminated strings: a path with a zero inside would name a shorter one.
// It can name no file, and fails like a missing one.
bool Nameable(const std::wstring& path)
{
    if (path.find(L'\0') == std::wstring::npos)
        return true;
    errno = ENOENT;
    return false;
}

// _read and _write move at most INT_MAX bytes a call; larger requests are split.
constexpr std::uint32_t kLargestTransfer = 1u << 30;

class WindowsRuntime final : public Runtime {
public:
    int Stat(const std::wstring& path, FileStatus& status) override
    {
        if (!Nameable(path))
            return -1;
        struct _stat64 info;
        if (::_wstat64(path.c_str(), &info) != 0)
            return -1;
        status.size = static_cast<std::uint64_t>(info.st_size);
        status.modifiedTime = static_cast<std::int64_t>(info.st_mtime);
        return 0;
    }

    int Open(const std::wstring& path, OpenMode mode) override
    {
        if (!Nameable(path))
            return -1;
        switch (mode) {
        case OpenMode::ReadSequential:
            return ::_wopen(path.c_str(), kReadSequential);
        case OpenMode::Read:
            return ::_wopen(path.c_str(), kRead);
        case OpenMode::WriteCreate:
            return ::_wopen(path.c_str(), kWriteCreate, kNewFileMode);
        case OpenMode::WriteFresh:
            // Removing a link or file takes nothing from what it leads to, as truncating would.
            ::_wunlink(path.c_str());
            return ::_wopen(path.c_str(), kWriteFresh, kNewFileMode);
        }
        errno = EINVAL;
        return -1;
    }

    std::int64_t Read(int descriptor, void* buffer, std::uint32_t count) override
    {
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::uint32_t done = 0;
        while (done < count) {
            const std::uint32_t ask = count - done < kLargestTransfer ? count - done : kLargestTransfer;
            const int got = ::_read(descriptor, bytes + done, ask);
            if (got < 0) {
                // As on POSIX: a failure after some bytes arrived puts the position back
                // before them, or, where it cannot go back, answers the bytes.
                if (done == 0)
                    return -1;
                const int error = errno;
                if (::_lseeki64(descriptor, -static_cast<__int64>(done), SEEK_CUR) < 0)
                    return done;
                errno = error;
                return -1;
            }
            if (got == 0)
                break;
            done += static_cast<std::uint32_t>(got);
        }
        return done;
    }

    std::int64_t Write(int descriptor, const void* buffer, std::uint32_t count) override
    {
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        std::uint32_t done = 0;
        while (done < count) {
            const std::uint32_t ask = count - done < kLargestTransfer ? count - done : kLargestTransfer;
            const int put = ::_write(descriptor, bytes + done, ask);
            if (put < 0)
                return -1;
            if (put == 0) {
                // A binary write that moves nothing has run out of room.
                errno = ENOSPC;
                return -1;
            }
            done += static_cast<std::uint32_t>(put);
        }
        return done;
    }

    std::int64_t Seek(int descriptor, std::int64_t offset) override
    {
        const __int64 position = ::_lseeki64(descriptor, offset, SEEK_SET);
        return position < 0 ? -1 : static_cast<std::int64_t>(position);
    }

    int Close(int descriptor) override { return ::_close(descriptor); }

    std::FILE* OpenStream(const std::wstring& path) override
    {
        return Nameable(path) ? ::_wfopen(path.c_str(), L"rb") : nullptr;
    }

    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) override
    {
        return std::fread(buffer, size, count, stream);
    }

    int CloseStream(std::FILE* stream) override { return std::fclose(stream); }
};

} // namespace

Runtime& NativeRuntime()
{
    static WindowsRuntime runtime;
    return runtime;
}

} // namespace Platform
} // namespace Halvorn
