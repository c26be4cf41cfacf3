// The kernel calls bound to POSIX.
#include "platform/Kernel.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include "platform/posix/UniqueDescriptor.h"
#include "platform/posix/Utf8Path.h"

namespace Halvorn {
namespace Platform {

namespace {

constexpr std::size_t kCopyChunk = 256 * 1024;
constexpr mode_t kPermissionBits = S_IRWXU | S_IRWXG | S_IRWXO;
constexpr mode_t kSetIdBits = S_ISUID | S_ISGID;
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

// Copies `length` bytes of `from` at `offset` to the same offset of `to`. A source that ends
// early is a failure: it is a finished file that nothing else writes.
bool CopyRange(int from, int to, off_t offset, off_t length)
{
    std::vector<char> buffer(kCopyChunk);
    while (length > 0) {
        const std::size_t ask = static_cast<std::size_t>(std::min<off_t>(length, static_cast<off_t>(buffer.size())));
        const ssize_t got = ::pread(from, buffer.data(), ask, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            if (got == 0)
                errno = EIO;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(got - done), offset + done);
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return false;
            done += put;
        }
        offset += got;
        length -= got;
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

// Puts the bytes of `from`, `length` of them, in the place of a file's old bytes so that it
// is never left shorter than both: the part past the old end goes on first, and is cut off
// again if it fails, leaving the old content whole; then the old part is overwritten, which
// needs no more room on the disk; the file is cut to its new length last and then flushed to
// stable storage. Only a failure while overwriting (an I/O error) or the end of the process
// (SIGKILL, a power cut) can still leave old and new mixed. Anything but a file takes the
// bytes as they come.
bool Overwrite(int from, int to, off_t length)
{
    struct stat target;
    if (::fstat(to, &target) != 0)
        return false;
    if (!S_ISREG(target.st_mode))
        return CopyBytes(from, to);
    const off_t old = target.st_size;
    if (length > old && !CopyRange(from, to, old, length - old)) {
        const int error = errno;
        if (::ftruncate(to, old) == 0)
            errno = error;
        return false;
    }
    return CopyRange(from, to, 0, std::min(old, length)) && (length >= old || ::ftruncate(to, length) == 0) &&
           ::fsync(to) == 0;
}

// Holds back every signal that could end the process or run a handler, on this thread, for
// as long as it lives: they take effect once the target is whole again. A file size limit
// then fails the write (EFBIG) instead of ending the process in the middle. Faults of the
// thread itself (SIGSEGV and the like) cannot wait and are not held.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t held;
        sigfillset(&held);
        for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS})
            sigdelset(&held, fault);
        holding_ = ::pthread_sigmask(SIG_BLOCK, &held, &previous_) == 0;
    }
    ~SignalsHeld()
    {
        const int saved = errno;
        if (holding_)
            ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
        errno = saved;
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
    bool holding_;
};

// The extended attributes of `from` (Linux: ACLs, security labels, capabilities, users'
// own), set on `to` as far as the file system and the caller's rights allow: none of them
// is a reason to keep the old bytes.
void CopyExtendedAttributes(const std::string& from, int to)
{
#if defined(__linux__)
    std::vector<char> names(static_cast<std::size_t>(std::max<ssize_t>(::listxattr(from.c_str(), nullptr, 0), 0)));
    const ssize_t listed = names.empty() ? 0 : ::listxattr(from.c_str(), names.data(), names.size());
    std::vector<char> value;
    for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
        const char* name = &names[at];
        const ssize_t length = ::getxattr(from.c_str(), name, nullptr, 0);
        if (length < 0)
            continue;
        value.resize(static_cast<std::size_t>(length) + 1);
        const ssize_t got = ::getxattr(from.c_str(), name, value.data(), static_cast<std::size_t>(length));
        if (got >= 0)
            ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(got), 0);
    }
#else
    (void)from;
    (void)to;
#endif
}

// Gives the new file at `descriptor` what the replaced file `target` had besides its bytes:
// owner and group where the caller may (root may give a file to anyone, others to a group of
// theirs), extended attributes, and last the mode, since a change of owner clears the
// set-user-ID and set-group-ID bits. Those bits come back only with the owner or group they
// stand for: on a file of another owner they would lend that owner's rights to the wrong one.
void CarryOver(int descriptor, const std::string& target, const struct stat& replaced)
{
    struct stat made;
    if (::fstat(descriptor, &made) != 0)
        return;
    if ((made.st_uid != replaced.st_uid || made.st_gid != replaced.st_gid) &&
        ::fchown(descriptor, replaced.st_uid, replaced.st_gid) != 0)
        ::fchown(descriptor, static_cast<uid_t>(-1), replaced.st_gid);
    if (::fstat(descriptor, &made) != 0)
        return;
    CopyExtendedAttributes(target, descriptor);
    mode_t mode = replaced.st_mode & (kPermissionBits | kSetIdBits | S_ISVTX);
    if (made.st_uid != replaced.st_uid)
        mode &= ~static_cast<mode_t>(S_ISUID);
    if (made.st_gid != replaced.st_gid)
        mode &= ~static_cast<mode_t>(S_ISGID);
    ::fchmod(descriptor, mode);
}

// Makes a rename in the directory of `path` durable; a failure changes nothing already done.
void SyncDirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    UniqueDescriptor handle(OpenRetrying(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (handle.IsOpen())
        ::fsync(handle.Get());
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
        {
            // Opened without following a link: what moves must be the file that was written,
            // and what is done to it below must reach that file, whatever the name holds later.
            UniqueDescriptor moved(OpenRetrying(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
            if (!moved.IsOpen())
                return Failed();
            // The replaced file's owner, mode and attributes live on in the new one, so a
            // patched executable stays executable and a user's file stays theirs.
            struct stat replaced;
            if (::stat(target.c_str(), &replaced) == 0)
                CarryOver(moved.Get(), target, replaced);
            // The new bytes reach the disk before the name does: a crash must not leave the
            // name on a file whose content never got there.
            if (::fsync(moved.Get()) != 0)
                return Failed();
        }
        if (::rename(source.c_str(), target.c_str()) != 0)
            return Failed();
        SyncDirectoryOf(target);
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
        // O_CREAT's mode applies to a new file only: an existing target keeps its own. It is
        // not truncated: Overwrite keeps it whole as long as it can.
        UniqueDescriptor output(OpenRetrying(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC,
                                             sourceInfo.st_mode & kPermissionBits));
        if (!output.IsOpen())
            return Failed();
        {
            const SignalsHeld held;
            if (!Overwrite(input.Get(), output.Get(), sourceInfo.st_size))
                return Failed();
        }
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
