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
constexpr std::uint32_t kCapacity = 1u << 17;
// With a digest, the buffer is a ring of this many parts: one is filled while those before
// it are hashed, so a part that takes the worker longer than usual does not stall the filling.
constexpr std::uint32_t kParts = 4;
}

WriteBuffer::WriteBuffer(int descriptor, SHA1Digest* digest)
    : descriptor_(descriptor), buffer_(new unsigned char[digest != nullptr ? kParts * kCapacity : kCapacity]),
      part_(buffer_.get()), used_(0), sha1_(digest != nullptr ? new Sha1Beside(*digest) : nullptr)
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
    std::memcpy(part_ + used_, bytes, length);
    used_ += length;
    return true;
}

bool WriteBuffer::Flush()
{
    if (used_ == 0)
        return true;
    unsigned char* const full = part_;
    if (sha1_) {
        sha1_->Append(full, used_);
        // The next part's bytes, given kParts - 1 flushes ago, must be hashed before it is
        // refilled.
        part_ = full + kCapacity == buffer_.get() + kParts * kCapacity ? buffer_.get() : full + kCapacity;
        sha1_->Settle(kParts - 1);
    }
    const bool written = Platform::CurrentRuntime().Write(descriptor_, full, used_) >= 0;
    used_ = 0;
    return written;
}

} // namespace Vantrel
} // namespace Halvorn
