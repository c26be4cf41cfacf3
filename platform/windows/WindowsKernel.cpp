// The kernel calls bound to Windows.
#include "platform/Kernel.h"

#include <cwchar>
#include <vector>

#include <windows.h>

namespace Halvorn {
namespace Platform {

namespace {

// The error of this thread's last failed call. Windows keeps one per thread too, but some
// calls that succeed overwrite it, and LastError() must still tell what failed.
thread_local DWORD lastError = ERROR_SUCCESS;

bool Failed()
{
    lastError = ::GetLastError();
    return false;
}

std::uint32_t Failed(DWORD error)
{
    lastError = error;
    ::SetLastError(error);
    return 0;
}

class WindowsKernel final : public Kernel {
public:
    bool MoveReplacing(const wchar_t* from, const wchar_t* to) override
    {
        // The new bytes reach the disk before the name does. A file that cannot be opened for
        // writing (a read-only one) is moved as it is: the move itself says what it thinks.
        const HANDLE moved = ::CreateFileW(from, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (moved != INVALID_HANDLE_VALUE) {
            const bool flushed = ::FlushFileBuffers(moved) != 0 || Failed();
            ::CloseHandle(moved);
            if (!flushed)
                return false;
        }
        // Replace an existing target, and copy when the target lies on another volume.
        if (::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) == 0)
            return Failed();
        return true;
    }

    bool CopyOver(const wchar_t* from, const wchar_t* to) override
    {
        if (::CopyFileW(from, to, FALSE) == 0)
            return Failed();
        return true;
    }

    bool Remove(const wchar_t* path) override
    {
        if (::DeleteFileW(path) == 0)
            return Failed();
        return true;
    }

    std::uint32_t LastError() override { return lastError; }

    std::uint32_t TempDirectory(std::uint32_t size, wchar_t* buffer) override
    {
        if (buffer == nullptr && size > 0)
            return Failed(ERROR_INVALID_PARAMETER);
        // Asked into a buffer of our own, so that a caller's buffer that is too small is left
        // untouched, whatever the system writes into one.
        std::vector<wchar_t> directory(MAX_PATH + 1);
        for (;;) {
            const DWORD length = ::GetTempPathW(static_cast<DWORD>(directory.size()), directory.data());
            if (length == 0) {
                Failed();
                return 0;
            }
            if (length < directory.size()) {
                if (length >= size)
                    return length + 1;
                std::wmemcpy(buffer, directory.data(), length + 1);
                return length;
            }
            directory.resize(length);
        }
    }

    std::uint32_t UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                 std::uint32_t size) override
    {
        if (directory == nullptr || prefix == nullptr || buffer == nullptr)
            return Failed(ERROR_INVALID_PARAMETER);
        // The system writes up to MAX_PATH characters; a shorter buffer gets the name only if
        // it fits, and no file is left behind when it does not.
        wchar_t name[MAX_PATH];
        if (::GetTempFileNameW(directory, prefix, 0, name) == 0) {
            Failed();
            return 0;
        }
        const std::size_t length = std::wcslen(name);
        if (length >= size) {
            ::DeleteFileW(name);
            return Failed(ERROR_BUFFER_OVERFLOW);
        }
        std::wmemcpy(buffer, name, length + 1);
        return 1;
    }
};

} // namespace

Kernel& NativeKernel()
{
    static WindowsKernel kernel;
    return kernel;
}

} // namespace Platform
} // namespace Halvorn
