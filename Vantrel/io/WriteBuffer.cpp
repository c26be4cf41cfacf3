#include "Vantrel/io/WriteBuffer.h"

#include <cerrno>
#include <cstring>

#include "Vantrel/digests/Sha1Beside.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
// Large enough that a write call costs little beside its bytes, small enough to stay in the
// processor's cache beside what fills it.
constexpr std::uint32_t kCapacity = 1u << 18;
}

WriteBuffer::WriteBuffer(int descriptor, SHA1Digest* digest)
    : descriptor_(descriptor), buffer_(new unsigned char[digest != nullptr ? 2 * kCapacity : kCapacity]),
      half_(buffer_.get()), used_(0), sha1_(digest != nullptr ? new Sha1Beside(*digest) : nullptr)
{
}

WriteBuffer::~WriteBuffer() = default;

bool WriteBuffer::Write(const unsigned char* bytes, std::uint32_t length)
{
    if (length > kCapacity - used_) {
        if (!Flush())
            return false;
        // Large pieces go out as they are, without a copy: the caller may reuse them once
        // this returns, so their SHA-1 is waited for, beside the write call.
        if (length >= kCapacity) {
            if (sha1_)
                sha1_->Append(bytes, length);
            const bool written = Platform::CurrentRuntime().Write(descriptor_, bytes, length) >= 0;
            if (sha1_) {
                const int error = errno;
                sha1_->Settle();
                errno = error;
            }
            return written;
        }
    }
    std::memcpy(half_ + used_, bytes, length);
    used_ += length;
    return true;
}

bool WriteBuffer::Flush()
{
    if (used_ == 0)
        return true;
    unsigned char* const full = half_;
    if (sha1_) {
        sha1_->Append(full, used_);
        // The other half's bytes, given one flush ago, must be hashed before it is refilled.
        half_ = full == buffer_.get() ? full + kCapacity : buffer_.get();
        sha1_->Settle(1);
    }
    const bool written = Platform::CurrentRuntime().Write(descriptor_, full, used_) >= 0;
    used_ = 0;
    return written;
}

} // namespace Vantrel
} // namespace Halvorn
