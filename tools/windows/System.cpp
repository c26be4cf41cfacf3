// The tool's system seam on Windows. Names arrive in UTF-8 and go to the wide (UTF-16)
// calls; the ANSI calls could not spell every name. Files are opened through CreateFileW
// with every share mode, delete included, so that a file the tool has open can still be
// moved into place or removed by the interrupt handler, as on POSIX systems.
#include "System.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <windows.h>

#include <shellapi.h>

// The system's ReplaceFile macro would rename ours to ReplaceFileA.
#undef ReplaceFile

namespace Halvorn {
namespace Tool {
namespace System {

namespace {

// The errno closest to a Win32 error, for the tool's messages.
int ErrnoFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    default:
        return EIO;
    }
}

// Sets errno from the last Win32 error; false, for the callers' returns.
bool FailedWithLastError()
{
    errno = ErrnoFor(::GetLastError());
    return false;
}

// The UTF-16 spelling of a UTF-8 name; false (errno set) for bytes that are not UTF-8 or a
// zero inside, which no file name can hold.
bool ToUtf16(const std::string& utf8, std::wstring& wide)
{
    wide.clear();
    if (utf8.find('\0') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    if (utf8.empty())
        return true;
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) {
        errno = ENAMETOOLONG;
        return false;
    }
    const int bytes = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, nullptr, 0);
    if (length <= 0) {
        errno = EILSEQ;
        return false;
    }
    wide.resize(static_cast<std::size_t>(length));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), bytes, &wide[0], length) != length) {
        errno = EILSEQ;
        return false;
    }
    return true;
}

std::string ToUtf8(const wchar_t* wide)
{
    const int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes > 1) {
        std::string utf8(static_cast<std::size_t>(bytes), '\0');
        ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, &utf8[0], bytes, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(bytes) - 1);
        return utf8;
    }
    // A name may hold a surrogate without its pair, which UTF-8 cannot spell. Rather than a
    // replacement character, which would name another file, each unit is spelled on its own:
    // the bytes are then no UTF-8, and the tool refuses the argument as such.
    std::string spelled;
    for (const wchar_t* unit = wide; *unit != L'\0'; ++unit) {
        const unsigned code = static_cast<unsigned>(*unit) & 0xFFFFu;
        if (code < 0x80) {
            spelled += static_cast<char>(code);
        } else if (code < 0x800) {
            spelled += static_cast<char>(0xC0 | (code >> 6));
            spelled += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            spelled += static_cast<char>(0xE0 | (code >> 12));
            spelled += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            spelled += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return spelled;
}

HANDLE HandleOf(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

// A C stream over a file opened with CreateFileW; the handle is closed on failure.
std::FILE* StreamOver(HANDLE file, const char* mode, int descriptorFlags)
{
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), descriptorFlags);
    if (descriptor < 0) {
        const int error = errno;
        ::CloseHandle(file);
        errno = error;
        return nullptr;
    }
    std::FILE* stream = ::_fdopen(descriptor, mode);
    if (stream == nullptr) {
        const int error = errno;
        ::_close(descriptor);
        errno = error;
    }
    return stream;
}

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The name the system gives the file open on `file`, spelled the usual way; empty when it
// has none that fits MAX_PATH.
std::string FinalPathOf(HANDLE file)
{
    wchar_t name[MAX_PATH + 8];
    const DWORD length = ::GetFinalPathNameByHandleW(file, name, MAX_PATH + 8, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= MAX_PATH + 8)
        return std::string();
    // The name comes as \\?\C:\... or \\?\UNC\server\...: spelled the usual way, it suits
    // every call of the runtime.
    std::wstring path(name, length);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path = L"\\" + path.substr(7);
    else if (path.compare(0, 4, L"\\\\?\\") == 0)
        path = path.substr(4);
    return path.size() < MAX_PATH ? ToUtf8(path.c_str()) : std::string();
}

// A file on disk is known by its volume and index; anything else (the null device, a
// console, a pipe) is taken as a device with nothing to lose.
bool Identify(HANDLE file, FileIdentity& identity)
{
    identity = FileIdentity();
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        identity.character = true;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(file, &information))
        return FailedWithLastError();
    identity.device = information.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return true;
}

// Files to remove on an interrupt. The console's control handler runs on a thread of its
// own while the program goes on, so a lock is enough; fixed storage keeps it usable up to
// the last moment of the process, when no destructor may have run yet.
constexpr int kSlots = 8;
constexpr std::size_t kPathUnits = 4096;
std::mutex slotGuard;
wchar_t slotPaths[kSlots][kPathUnits];
bool slotUsed[kSlots];

BOOL WINAPI RemoveAndEnd(DWORD)
{
    {
        std::lock_guard<std::mutex> hold(slotGuard);
        for (int i = 0; i < kSlots; ++i)
            if (slotUsed[i])
                ::DeleteFileW(slotPaths[i]);
    }
    // Not handled here: the system's own handler ends the process as the event would have.
    return FALSE;
}

} // namespace

void Initialise()
{
    // Blobs and files pass through the standard streams byte for byte; text on standard
    // output asks for TextOutput, and standard error stays in text mode.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    // A closed pipe is already a write error (EPIPE or EINVAL) here: there is no SIGPIPE.
    ::SetConsoleCtrlHandler(&RemoveAndEnd, TRUE);
}

void TextOutput()
{
    std::fflush(stdout);
    ::_setmode(::_fileno(stdout), _O_TEXT);
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    // main() gets the arguments in the ANSI code page, which cannot spell every name: they are
    // read again from the wide command line.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(ToUtf8(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

bool WriteText(std::FILE* stream, const std::string& text)
{
    // A console takes bytes in its own code page, which is rarely UTF-8: names outside ASCII
    // would show garbled. It is given the characters instead.
    const HANDLE console = HandleOf(stream);
    DWORD mode;
    std::wstring wide;
    if (!::GetConsoleMode(console, &mode) || !ToUtf16(text, wide))
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (std::fflush(stream) != 0)
        return false;
    std::size_t done = 0;
    while (done < wide.size()) {
        const DWORD chunk = static_cast<DWORD>(wide.size() - done < 16384 ? wide.size() - done : 16384);
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data() + done, chunk, &written, nullptr) || written == 0)
            return FailedWithLastError();
        done += written;
    }
    return true;
}

bool IsTerminal(std::FILE* stream)
{
    // A console, not just any character device: _isatty is also true of NUL.
    DWORD mode;
    return ::GetConsoleMode(HandleOf(stream), &mode) != 0;
}

int TerminalColumns(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(HandleOf(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

std::FILE* OpenFile(const std::string& path, const char* mode)
{
    // The modes of fopen: r, w or a, then + and b or t in any order.
    DWORD access;
    DWORD disposition;
    int flags = 0;
    switch (mode[0]) {
    case 'r':
        access = GENERIC_READ;
        disposition = OPEN_EXISTING;
        break;
    case 'w':
        access = GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
    case 'a':
        access = GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        flags |= _O_APPEND;
        break;
    default:
        errno = EINVAL;
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    if (update)
        access = GENERIC_READ | GENERIC_WRITE;
    else if (mode[0] == 'r')
        flags |= _O_RDONLY;
    if (std::strchr(mode, 'b') == nullptr)
        flags |= _O_TEXT;

    std::wstring wide;
    if (!ToUtf16(path, wide))
        return nullptr;
    const HANDLE file =
        ::CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailedWithLastError();
        return nullptr;
    }
    return StreamOver(file, mode, flags);
}

std::FILE* CreateNewFile(const std::string& path, bool& existed)
{
    existed = false;
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return nullptr;
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailedWithLastError();
        existed = errno == EEXIST;
        return nullptr;
    }
    std::FILE* stream = StreamOver(file, "wb", 0);
    if (stream == nullptr) {
        const int error = errno;
        ::DeleteFileW(wide.c_str());
        errno = error;
    }
    return stream;
}

bool ReplaceFile(const std::string& from, const std::string& to)
{
    std::wstring source;
    std::wstring target;
    if (!ToUtf16(from, source) || !ToUtf16(to, target))
        return false;
    // A read-only file is replaced as on POSIX systems, where only the directory's permission
    // counts, and its replacement is read-only in turn.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    if (readOnly)
        ::SetFileAttributesW(target.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (!::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = ::GetLastError();
        if (readOnly)
            ::SetFileAttributesW(target.c_str(), attributes);
        errno = ErrnoFor(error);
        return false;
    }
    if (readOnly) {
        const DWORD moved = ::GetFileAttributesW(target.c_str());
        if (moved != INVALID_FILE_ATTRIBUTES)
            ::SetFileAttributesW(target.c_str(), moved | FILE_ATTRIBUTE_READONLY);
    }
    return true;
}

bool RemoveFile(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return false;
    return ::DeleteFileW(wide.c_str()) != 0 || FailedWithLastError();
}

bool Examine(const std::string& path, FileInfo& info)
{
    info = FileInfo();
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return false;
    struct _stat64 status;
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    info.link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (::_wstat64(wide.c_str(), &status) != 0)
        return errno == ENOENT;
    info.exists = true;
    info.directory = (status.st_mode & _S_IFMT) == _S_IFDIR;
    info.regular = (status.st_mode & _S_IFMT) == _S_IFREG;
    info.size = static_cast<std::uint64_t>(status.st_size);
    info.modifiedTime = static_cast<std::int64_t>(status.st_mtime);
    return true;
}

std::string StandardInputPath()
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    LARGE_INTEGER position;
    const LARGE_INTEGER none = {};
    if (input == INVALID_HANDLE_VALUE || input == nullptr || ::GetFileType(input) != FILE_TYPE_DISK ||
        !::SetFilePointerEx(input, none, &position, FILE_CURRENT) || position.QuadPart != 0)
        return std::string();
    return FinalPathOf(input);
}

std::FILE* OpenForWriting(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return nullptr;
    const HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailedWithLastError();
        return nullptr;
    }
    return StreamOver(file, "wb", 0);
}

int DescriptorOf(std::FILE* stream)
{
    return ::_fileno(stream);
}

const char kSeparators[] = "\\/";

std::string FinalPath(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return std::string();
    // Opening follows the links; backup semantics let a directory be opened too.
    const HANDLE file = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FailedWithLastError();
        return std::string();
    }
    const std::string final = FinalPathOf(file);
    ::CloseHandle(file);
    if (final.empty())
        errno = ENAMETOOLONG;
    return final;
}

bool NameTooLong(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return false;
    const std::size_t separator = wide.find_last_of(L"\\/:");
    const std::size_t length = separator == std::wstring::npos ? wide.size() : wide.size() - separator - 1;
    return length > 255;  // UTF-16 units, on every file system the system has
}

bool IdentityOf(const std::string& path, FileIdentity& identity)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return false;
    const HANDLE file = ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FailedWithLastError();
    const bool known = Identify(file, identity);
    ::CloseHandle(file);
    return known;
}

bool IdentityOf(std::FILE* stream, FileIdentity& identity)
{
    return Identify(HandleOf(stream), identity);
}

void RemoveOnInterrupt(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide) || wide.size() >= kPathUnits)
        return;
    std::lock_guard<std::mutex> hold(slotGuard);
    for (int i = 0; i < kSlots; ++i) {
        if (!slotUsed[i]) {
            std::memcpy(slotPaths[i], wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
            slotUsed[i] = true;
            return;
        }
    }
}

void KeepOnInterrupt(const std::string& path)
{
    std::wstring wide;
    if (!ToUtf16(path, wide))
        return;
    std::lock_guard<std::mutex> hold(slotGuard);
    for (int i = 0; i < kSlots; ++i)
        if (slotUsed[i] && wide == slotPaths[i])
            slotUsed[i] = false;
}

} // namespace System
} // namespace Tool
} // namespace Halvorn
