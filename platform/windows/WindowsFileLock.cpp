// FileLock on Windows: the companion file opened with no sharing at all and marked
// delete-on-close.
//
// The open itself is the lock: while the holder has the companion open, every other open of
// it, from this process or another, fails with a sharing violation, and so does every attempt
// to delete it or move something over it. Closing the one handle deletes the file in the same
// step, so no contender can ever open a file that its holder is about to remove (the race the
// POSIX flock version has to check for after locking), and a holder that dies leaves nothing
// behind, since the system closes its handles. A byte-range lock (LockFileEx) would lock the
// file rather than the name: removing the companion on release would need the same recheck
// of the name after locking, with the name stuck in "delete pending" for contenders meanwhile.
#include "Vantrel/FileLock.h"

#include <string>
#include <utility>

#include <windows.h>

namespace {

constexpr std::intptr_t kNoHandle = -1;

HANDLE HandleOf(std::intptr_t stored)
{
    return reinterpret_cast<HANDLE>(stored);
}

} // namespace

FileLock::FileLock() : handle_(kNoHandle) {}

FileLock::~FileLock()
{
    Release();
}

bool FileLock::Create(FileLockType type, const wchar_t* path)
{
    std::wstring lockPath = path != nullptr ? path : L"";
    lockPath += L".korrin-lock";
    // Already ours: the open handle keeps the name, so there is nothing to take again, and
    // letting go first would open a gap for another holder.
    if (type == Exclusive && path != nullptr && handle_ != kNoHandle && lockPath == lockPath_)
        return true;
    Release();
    if (type != Exclusive || path == nullptr)
        return false;
    // Share mode 0 is the exclusion; the handle is not inheritable (no security attributes),
    // so a child process cannot keep the lock alive after its holder lets go.
    const HANDLE companion =
        ::CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (companion == INVALID_HANDLE_VALUE)
        return false;
    handle_ = reinterpret_cast<std::intptr_t>(companion);
    lockPath_ = std::move(lockPath);
    return true;
}

void FileLock::Release()
{
    if (handle_ == kNoHandle)
        return;
    // Deletes the companion file too (delete-on-close).
    ::CloseHandle(HandleOf(handle_));
    handle_ = kNoHandle;
    lockPath_.clear();
}

bool FileLock::IsHeld() const
{
    return handle_ != kNoHandle;
}
