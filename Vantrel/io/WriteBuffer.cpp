#include "Vantrel/io/WriteBuffer.h"

#include <cstring>

#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
// Large enough that a write call costs little beside its bytes, small enough to stay in the
// processor's cache beside what fills it.
constexpr std::uint32_t kCapacity = 1u << 18;
}

WriteBuffer::WriteBuffer(int descriptor)
    : descriptor_(descriptor), buffer_(new unsigned char[kCapacity]), used_(0)
{
}

bool WriteBuffer::Write(const unsigned char* bytes, std::uint32_t length)
{
    if (length > kCapacity - used_) {
        if (!Flush())
            return false;
        // Large pieces go out as they are, without a copy.
        if (length >= kCapacity)
            return Platform::CurrentRuntime().Write(descriptor_, bytes, length) >= 0;
    }
    std::memcpy(buffer_.get() + used_, bytes, length);
    used_ += length;
    return true;
}

bool WriteBuffer::Flush()
{
    if (used_ == 0)
        return true;
    const bool written = Platform::CurrentRuntime().Write(descriptor_, buffer_.get(), used_) >= 0;
    used_ = 0;
    return written;
}

} // namespace Vantrel
} // namespace Halvorn
