#include "Vantrel/io/ReadBuffer.h"

#include <cstring>

#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

ReadBuffer::ReadBuffer(int descriptor, std::uint32_t capacity)
    : descriptor_(descriptor), capacity_(capacity), buffer_(new unsigned char[capacity]), base_(0), start_(0),
      available_(0), failed_(false)
{
}

std::uint32_t ReadBuffer::Refill()
{
    // What is left moves to the front, and the rest of the buffer fills behind it.
    if (start_ != 0) {
        std::memmove(buffer_.get(), buffer_.get() + start_, available_);
        base_ += start_;
        start_ = 0;
    }
    const std::int64_t got =
        Platform::CurrentRuntime().Read(descriptor_, buffer_.get() + available_, capacity_ - available_);
    if (got < 0)
        failed_ = true;
    else
        available_ += static_cast<std::uint32_t>(got);
    return available_;
}

bool ReadBuffer::Take(unsigned char* out, std::uint32_t count)
{
    const std::uint32_t buffered = count < available_ ? count : available_;
    std::memcpy(out, Data(), buffered);
    Skip(buffered);
    std::uint32_t left = count - buffered;
    if (left == 0)
        return true;
    if (failed_)
        return false;
    if (left >= capacity_) {
        // The buffer is empty now: the bulk goes straight where it belongs.
        const std::int64_t got = Platform::CurrentRuntime().Read(descriptor_, out + buffered, left);
        if (got < 0) {
            failed_ = true;
            return false;
        }
        base_ += start_ + static_cast<std::uint64_t>(got);
        start_ = 0;
        return static_cast<std::uint64_t>(got) == left;
    }
    if (Fill(left) < left)
        return false;
    std::memcpy(out + buffered, Data(), left);
    Skip(left);
    return true;
}

bool ReadBuffer::SeekTo(std::uint64_t offset)
{
    // Within what is buffered, no call is needed.
    if (offset >= base_ && offset <= base_ + start_ + available_) {
        const auto within = static_cast<std::uint32_t>(offset - base_);
        available_ = start_ + available_ - within;
        start_ = within;
        return true;
    }
    if (Platform::CurrentRuntime().Seek(descriptor_, static_cast<std::int64_t>(offset)) < 0)
        return false;
    base_ = offset;
    start_ = 0;
    available_ = 0;
    failed_ = false;
    return true;
}

bool ReadBuffer::ReadAt(std::uint64_t offset, unsigned char* out, std::uint32_t count)
{
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    const std::uint64_t behind = base_ + start_ + available_; // where the next read would start
    if (runtime.Seek(descriptor_, static_cast<std::int64_t>(offset)) < 0)
        return false;
    const bool read = runtime.Read(descriptor_, out, count) == static_cast<std::int64_t>(count);
    if (runtime.Seek(descriptor_, static_cast<std::int64_t>(behind)) < 0) {
        failed_ = true;
        return false;
    }
    return read;
}

} // namespace Vantrel
} // namespace Halvorn
