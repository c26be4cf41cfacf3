// An owned POSIX file descriptor, closed on destruction. Closing on a failure path keeps
// errno as the failed call left it, so the caller still reports the call that failed.
#ifndef KORRIN_PLATFORM_POSIX_UNIQUEDESCRIPTOR_H
#define KORRIN_PLATFORM_POSIX_UNIQUEDESCRIPTOR_H

#include <cerrno>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace Halvorn {
namespace Platform {

class UniqueDescriptor {
public:
    explicit UniqueDescriptor(int descriptor = -1) noexcept : descriptor_(descriptor) {}
    ~UniqueDescriptor() { Reset(); }
    UniqueDescriptor(const UniqueDescriptor&) = delete;
    UniqueDescriptor& operator=(const UniqueDescriptor&) = delete;

    int Get() const noexcept { return descriptor_; }
    bool IsOpen() const noexcept { return descriptor_ >= 0; }

    // Gives up ownership without closing.
    int Release() noexcept
    {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor;
    }

    // Closes quietly: errno is left as it was.
    void Reset() noexcept
    {
        if (descriptor_ < 0)
            return;
        const int saved = errno;
        ::close(descriptor_);
        errno = saved;
        descriptor_ = -1;
    }

    // Closes and reports close's own result, for writers whose last error may surface only here.
    int Close() noexcept { return ::close(Release()); }

private:
    int descriptor_;
};

// open(2), repeated when a signal interrupts it.
inline int OpenRetrying(const char* path, int flags, mode_t mode = 0)
{
    int descriptor;
    do {
        descriptor = ::open(path, flags, mode);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

} // namespace Platform
} // namespace Halvorn

#endif
