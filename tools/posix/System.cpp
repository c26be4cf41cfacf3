// The tool's system seam on POSIX systems.
#include "System.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Halvorn {
namespace Tool {
namespace System {

namespace {

// The signal handler may only read fixed storage: a path is copied in before its slot is
// marked used, and the mark is taken off before the slot is reused.
constexpr int kSlots = 8;
constexpr std::size_t kPathBytes = 4096;
char slotPaths[kSlots][kPathBytes];
volatile std::sig_atomic_t slotUsed[kSlots];

extern "C" void RemoveAndEnd(int signal)
{
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i])
            ::unlink(slotPaths[i]);
    // The default action is back (SA_RESETHAND) and the signal not blocked (SA_NODEFER), so
    // this ends the process the way the signal would have, with its usual exit status.
    ::raise(signal);
}

void HandleUnlessIgnored(int signal)
{
    struct sigaction previous;
    if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
        return;  // e.g. SIGHUP under nohup: whoever ignored it meant it
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = &RemoveAndEnd;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void Initialise()
{
    std::signal(SIGPIPE, SIG_IGN);
    HandleUnlessIgnored(SIGINT);
    HandleUnlessIgnored(SIGTERM);
    HandleUnlessIgnored(SIGHUP);
}

void TextOutput()
{
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    // The bytes as given: names on these systems are bytes, UTF-8 by convention.
    return std::vector<std::string>(argv, argv + argc);
}

bool WriteText(std::FILE* stream, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream)
{
    struct winsize size;
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

std::FILE* CreateNewFile(const std::string& path, bool& existed)
{
    existed = false;
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        existed = errno == EEXIST;
        return nullptr;
    }
    std::FILE* stream = ::fdopen(descriptor, "wb");
    if (stream == nullptr) {
        const int error = errno;
        ::close(descriptor);
        ::unlink(path.c_str());
        errno = error;
    }
    return stream;
}

bool ReplaceFile(const std::string& from, const std::string& to)
{
    // A replaced executable stays executable; failing to carry the bits is no reason to stop.
    struct stat replaced;
    struct stat made;
    if (::stat(to.c_str(), &replaced) == 0 && ::stat(from.c_str(), &made) == 0) {
        // A set-ID bit runs the file as its owner or group: the new file, made by whoever runs
        // the tool, keeps it only where that owner or group is the replaced file's.
        mode_t mode = replaced.st_mode & 07777;
        if (made.st_uid != replaced.st_uid)
            mode &= ~S_ISUID;
        if (made.st_gid != replaced.st_gid)
            mode &= ~S_ISGID;
        ::chmod(from.c_str(), mode);
        // The old file goes only once the new one's bytes are on the disk, not just its name.
        const int descriptor = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
        const bool flushed = descriptor >= 0 && ::fsync(descriptor) == 0;
        if (descriptor >= 0)
            ::close(descriptor);
        if (!flushed)
            return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0;
}

std::FILE* OpenForWriting(const std::string& path)
{
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        return nullptr;
    std::FILE* stream = ::fdopen(descriptor, "wb");
    if (stream == nullptr) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
    }
    return stream;
}

int DescriptorOf(std::FILE* stream)
{
    return ::fileno(stream);
}

const char kSeparators[] = "/";

std::string FinalPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::string();
    std::string final(resolved);
    std::free(resolved);
    return final;
}

bool NameTooLong(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const long longest = ::pathconf(directory.c_str(), _PC_NAME_MAX);
    const std::size_t length = slash == std::string::npos ? path.size() : path.size() - slash - 1;
    return longest > 0 && length > static_cast<std::size_t>(longest);
}

namespace {

void Identify(const struct stat& status, FileIdentity& identity)
{
    identity.device = static_cast<std::uint64_t>(status.st_dev);
    identity.index = static_cast<std::uint64_t>(status.st_ino);
    identity.character = S_ISCHR(status.st_mode);
}

} // namespace

bool IdentityOf(const std::string& path, FileIdentity& identity)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        return false;
    Identify(status, identity);
    return true;
}

bool IdentityOf(std::FILE* stream, FileIdentity& identity)
{
    struct stat status;
    if (::fstat(::fileno(stream), &status) != 0)
        return false;
    Identify(status, identity);
    return true;
}

bool Examine(const std::string& path, FileInfo& info)
{
    info = FileInfo();
    struct stat status;
    info.link = ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
    if (::stat(path.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    info.exists = true;
    info.directory = S_ISDIR(status.st_mode);
    info.regular = S_ISREG(status.st_mode);
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.modifiedTime = static_cast<std::int64_t>(status.st_mtime);
    return true;
}

std::string StandardInputPath()
{
    // The name opens the file anew; it is used only when it leads to the very file that
    // standard input is and nothing of it has been read.
    static const char kName[] = "/dev/stdin";
    struct stat input;
    struct stat named;
    if (::fstat(0, &input) != 0 || !S_ISREG(input.st_mode) || ::lseek(0, 0, SEEK_CUR) != 0 ||
        ::stat(kName, &named) != 0 || named.st_dev != input.st_dev || named.st_ino != input.st_ino)
        return std::string();
    return kName;
}

void RemoveOnInterrupt(const std::string& path)
{
    if (path.size() >= kPathBytes)
        return;
    for (int i = 0; i < kSlots; ++i) {
        if (!slotUsed[i]) {
            std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            slotUsed[i] = 1;
            return;
        }
    }
}

void KeepOnInterrupt(const std::string& path)
{
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i] && path == slotPaths[i]) {
            slotUsed[i] = 0;
            std::atomic_signal_fence(std::memory_order_seq_cst);
        }
}

} // namespace System
} // namespace Tool
} // namespace Halvorn
