// FileLock on POSIX: flock(2) on the companion file. flock, unlike fcntl locks, also excludes
// a second open of the same file within this process.
//
// The holder removes the companion file when it lets go, so that none are left behind. A
// contender may therefore lock a file that has just been unlinked, or replaced by a newer
// holder's; it holds the lock only when the name still leads to the very file it locked,
// and otherwise tries again.
#include "Vantrel/FileLock.h"

#include <cerrno>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/posix/UniqueDescriptor.h"
#include "platform/posix/Utf8Path.h"

using Halvorn::Platform::OpenRetrying;
using Halvorn::Platform::ToUtf8Path;
using Halvorn::Platform::UniqueDescriptor;

namespace {

// Each retry means another holder came and went in between; a few suffice in practice, and
// giving up answers "held elsewhere", which was true a moment ago.
constexpr int kAttempts = 8;

bool LockWithoutWaiting(int descriptor)
{
    int result;
    do {
        result = ::flock(descriptor, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool NameLeadsTo(const std::string& path, int descriptor)
{
    struct stat held, named;
    return ::fstat(descriptor, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

FileLock::FileLock() : handle_(-1) {}

FileLock::~FileLock()
{
    Release();
}

bool FileLock::Create(FileLockType type, const wchar_t* path)
{
    std::wstring lockPath = path != nullptr ? path : L"";
    lockPath += L".korrin-lock";
    std::string native;
    // Still ours while the name leads to the file we locked: letting go to take it again
    // would open a gap for another holder.
    if (type == Exclusive && path != nullptr && handle_ >= 0 && lockPath == lockPath_ &&
        ToUtf8Path(lockPath, native) && NameLeadsTo(native, static_cast<int>(handle_)))
        return true;
    Release();
    if (type != Exclusive || path == nullptr)
        return false;
    if (!ToUtf8Path(lockPath, native))
        return false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        UniqueDescriptor companion(OpenRetrying(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
        if (!companion.IsOpen() || !LockWithoutWaiting(companion.Get()))
            return false;
        if (NameLeadsTo(native, companion.Get())) {
            handle_ = companion.Release();
            lockPath_ = std::move(lockPath);
            return true;
        }
    }
    return false;
}

void FileLock::Release()
{
    if (handle_ < 0)
        return;
    // Unlinked while still locked, so that no contender can hold the name we remove.
    std::string native;
    if (ToUtf8Path(lockPath_, native))
        ::unlink(native.c_str());
    ::close(static_cast<int>(handle_));
    handle_ = -1;
    lockPath_.clear();
}

bool FileLock::IsHeld() const
{
    return handle_ >= 0;
}
