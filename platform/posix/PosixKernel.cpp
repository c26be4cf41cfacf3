// The kernel calls bound to POSIX.
#include "platform/Kernel.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/UniqueDescriptor.h"
#include "platform/posix/Utf8Path.h"

namespace Halvorn {
namespace Platform {

namespace {

constexpr std::size_t kCopyChunk = 256 * 1024;
constexpr mode_t kPermissionBits = S_IRWXU | S_IRWXG | S_IRWXO;
// mkstemps replaces the six X's in front of the suffix.
constexpr wchar_t kUniquePart[] = L"XXXXXX";
constexpr std::size_t kUniqueLength = 6;
constexpr wchar_t kTempSuffix[] = L".tmp";
constexpr std::size_t kSuffixLength = 4;

// errno of this thread's last failed call; libc calls that succeed afterwards must not change
// what LastError() answers.
thread_local int lastError = 0;

bool Failed()
{
    lastError = errno;
    return false;
}

bool Failed(int error)
{
    errno = error;
    return Failed();
}

// A path that cannot be written as UTF-8 cannot name any file here.
bool Convert(const wchar_t* path, std::string& native)
{
    if (ToUtf8Path(path, native))
        return true;
    errno = path == nullptr ? EINVAL : ENOENT;
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool WriteAll(int descriptor, const char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t put = ::write(descriptor, bytes, count);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return true;
}

bool CopyBytes(int from, int to)
{
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!WriteAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

bool IsDirectory(const char* path)
{
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

class PosixKernel final : public Kernel {
public:
    bool MoveReplacing(const wchar_t* from, const wchar_t* to) override
    {
        std::string source, target;
        if (!Convert(from, source) || !Convert(to, target))
            return Failed();
        // The replaced file's permission bits live on in the new one, so a patched executable
        // stays executable. Failing to carry them over is no reason to keep the old bytes.
        struct stat replaced;
        if (::stat(target.c_str(), &replaced) == 0)
            ::chmod(source.c_str(), replaced.st_mode & kPermissionBits);
        if (::rename(source.c_str(), target.c_str()) != 0)
            return Failed();
        return true;
    }

    bool CopyOver(const wchar_t* from, const wchar_t* to) override
    {
        std::string source, target;
        if (!Convert(from, source) || !Convert(to, target))
            return Failed();
        UniqueDescriptor input(OpenRetrying(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (!input.IsOpen())
            return Failed();
        struct stat sourceInfo;
        if (::fstat(input.Get(), &sourceInfo) != 0)
            return Failed();
        // Truncating the target would empty a source that is the same file.
        struct stat targetInfo;
        if (::stat(target.c_str(), &targetInfo) == 0 && SameFile(sourceInfo, targetInfo))
            return Failed(EINVAL);
        // O_CREAT's mode applies to a new file only: an existing target keeps its own.
        UniqueDescriptor output(OpenRetrying(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                                             sourceInfo.st_mode & kPermissionBits));
        if (!output.IsOpen())
            return Failed();
        if (!CopyBytes(input.Get(), output.Get()))
            return Failed();
        input.Reset();
        // A deferred write error may surface only at close.
        if (output.Close() != 0)
            return Failed();
        return true;
    }

    bool Remove(const wchar_t* path) override
    {
        std::string native;
        if (!Convert(path, native) || ::unlink(native.c_str()) != 0)
            return Failed();
        return true;
    }

    std::uint32_t LastError() override { return static_cast<std::uint32_t>(lastError); }

    std::uint32_t TempDirectory(std::uint32_t size, wchar_t* buffer) override
    {
        if (buffer == nullptr && size > 0) {
            Failed(EINVAL);
            return 0;
        }
        std::string native = "/tmp";
        const char* configured = std::getenv("TMPDIR");
        if (configured != nullptr && IsDirectory(configured))
            native = configured;
        while (native.size() > 1 && native.back() == '/')
            native.pop_back();
        if (native != "/")
            native += '/';
        std::wstring directory;
        // A TMPDIR the wide interface cannot express is no more usable than a missing one.
        if (!FromUtf8Path(native, directory))
            directory = L"/tmp/";
        if (directory.size() >= size) {
            if (directory.size() >= UINT32_MAX) {
                Failed(ENAMETOOLONG);
                return 0;
            }
            return static_cast<std::uint32_t>(directory.size() + 1);
        }
        std::copy(directory.begin(), directory.end(), buffer);
        buffer[directory.size()] = L'\0';
        return static_cast<std::uint32_t>(directory.size());
    }

    std::uint32_t UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                 std::uint32_t size) override
    {
        if (directory == nullptr || prefix == nullptr || buffer == nullptr) {
            Failed(EINVAL);
            return 0;
        }
        std::wstring name = directory;
        if (!name.empty() && name.back() != L'/')
            name += L'/';
        name += prefix;
        name += kUniquePart;
        name += kTempSuffix;
        // The unique part stays ASCII, so the length is known before anything is created.
        if (name.size() >= size) {
            Failed(ENAMETOOLONG);
            return 0;
        }
        std::string native;
        if (!ToUtf8Path(name, native)) {
            Failed(ENOENT);
            return 0;
        }
        const int descriptor = ::mkstemps(&native[0], static_cast<int>(kSuffixLength));
        if (descriptor < 0) {
            Failed();
            return 0;
        }
        ::close(descriptor);
        const std::size_t unique = name.size() - kSuffixLength - kUniqueLength;
        const std::size_t nativeUnique = native.size() - kSuffixLength - kUniqueLength;
        for (std::size_t i = 0; i < kUniqueLength; ++i)
            name[unique + i] = static_cast<wchar_t>(static_cast<unsigned char>(native[nativeUnique + i]));
        std::copy(name.begin(), name.end(), buffer);
        buffer[name.size()] = L'\0';
        return 1;
    }
};

} // namespace

Kernel& NativeKernel()
{
    static PosixKernel kernel;
    return kernel;
}

} // namespace Platform
} // namespace Halvorn
