// The runtime file calls bound to POSIX.
#include "platform/Runtime.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/Utf8Path.h"

namespace Halvorn {
namespace Platform {

namespace {

// Large requests are split: a single read or write moves at most this much on Linux.
constexpr std::uint32_t kLargestTransfer = 1u << 30;

// A read call failed after earlier ones had delivered `done` bytes: the position goes back
// to where the bytes began, so that the failure consumes nothing and a caller that tries again
// misses nothing. Where the position cannot go back (a pipe), the bytes are the answer and the
// next call meets the failure.
std::int64_t Failed(int descriptor, std::uint32_t done)
{
    if (done == 0)
        return -1;
    const int error = errno;
    if (::lseek(descriptor, -static_cast<off_t>(done), SEEK_CUR) < 0)
        return done;
    errno = error;
    return -1;
}

// A directory opens for reading here, and then reads as an error or as nothing at all; it
// is refused at the open instead, as other systems do, so that callers name it there.
bool IsDirectory(int descriptor)
{
    struct stat info;
    return ::fstat(descriptor, &info) == 0 && S_ISDIR(info.st_mode);
}

// What was just opened, checked: 0, or the errno to fail the open with. Besides refusing a
// directory, it truncates a file opened to write, unless the file is empty already:
// truncating an empty file is not free, since some file systems then write the whole new
// content out at its close, to protect a file rewritten in place. Devices and pipes have
// nothing to truncate.
int Admit(int descriptor, OpenMode mode)
{
    struct stat info;
    if (::fstat(descriptor, &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EACCES;
    if (mode != OpenMode::WriteCreate || !S_ISREG(info.st_mode) || info.st_size == 0)
        return 0;
    while (::ftruncate(descriptor, 0) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

class PosixRuntime final : public Runtime {
public:
    int Stat(const std::wstring& path, FileStatus& status) override
    {
        std::string native;
        if (!ToUtf8Path(path, native)) {
            errno = ENOENT;
            return -1;
        }
        struct stat info;
        if (::stat(native.c_str(), &info) != 0)
            return -1;
        status.size = static_cast<std::uint64_t>(info.st_size);
        status.modifiedTime = static_cast<std::int64_t>(info.st_mtime);
        return 0;
    }

    int Open(const std::wstring& path, OpenMode mode) override
    {
        std::string native;
        if (!ToUtf8Path(path, native)) {
            errno = ENOENT;
            return -1;
        }
        // Removing a link or file takes nothing from what it leads to, as truncating would.
        if (mode == OpenMode::WriteFresh)
            ::unlink(native.c_str());
        int descriptor;
        do {
            if (mode == OpenMode::WriteFresh)
                descriptor = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            else if (mode == OpenMode::WriteCreate)
                descriptor = ::open(native.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
            else
                descriptor = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
        } while (descriptor < 0 && errno == EINTR);
        const int refusal = descriptor >= 0 ? Admit(descriptor, mode) : 0;
        if (refusal != 0) {
            ::close(descriptor);
            errno = refusal;
            return -1;
        }
        if (descriptor >= 0 && mode == OpenMode::ReadSequential)
            ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
        return descriptor;
    }

    std::int64_t Read(int descriptor, void* buffer, std::uint32_t count) override
    {
        auto* bytes = static_cast<unsigned char*>(buffer);
        std::uint32_t done = 0;
        while (done < count) {
            const std::uint32_t ask = count - done < kLargestTransfer ? count - done : kLargestTransfer;
            const ssize_t got = ::read(descriptor, bytes + done, ask);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return Failed(descriptor, done);
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
            const ssize_t put = ::write(descriptor, bytes + done, ask);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                return -1;
            }
            done += static_cast<std::uint32_t>(put);
        }
        return done;
    }

    std::int64_t Seek(int descriptor, std::int64_t offset) override
    {
        const off_t position = ::lseek(descriptor, static_cast<off_t>(offset), SEEK_SET);
        return position < 0 ? -1 : static_cast<std::int64_t>(position);
    }

    int Close(int descriptor) override { return ::close(descriptor); }

    std::FILE* OpenStream(const std::wstring& path) override
    {
        std::string native;
        if (!ToUtf8Path(path, native)) {
            errno = ENOENT;
            return nullptr;
        }
        // "e": close on exec, as the descriptors are.
        std::FILE* stream = std::fopen(native.c_str(), "rbe");
        if (stream != nullptr && IsDirectory(::fileno(stream))) {
            std::fclose(stream);
            errno = EACCES;
            return nullptr;
        }
        return stream;
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
    static PosixRuntime runtime;
    return runtime;
}

} // namespace Platform
} // namespace Halvorn
