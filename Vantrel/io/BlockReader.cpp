#include "Vantrel/io/BlockReader.h"

#include <algorithm>

#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
// A quarter of a mebibyte a read, and at least one block: a read call then costs little beside
// its bytes, and the buffer stays small. A fresh page costs a fault on first use, and in
// a rebuild of a few tens of MiB the faults of larger buffers cost more than the calls saved.
constexpr std::uint64_t kReadSize = 1u << 18;
} // namespace

BlockReader::BlockReader(int descriptor, std::uint32_t window, std::uint64_t fileSize)
    : descriptor_(descriptor), window_(window),
      capacity_(window == 0 ? 1
                            : static_cast<std::uint32_t>(kReadSize / window > 0 ? kReadSize / window : 1)),
      bytes_(static_cast<std::uint32_t>(std::min(std::uint64_t{capacity_} * window, fileSize))),
      buffer_(new unsigned char[bytes_]), loaded_(false), first_(0), filled_(0)
{
}

bool BlockReader::Read(std::uint32_t first, std::uint32_t count, const unsigned char*& bytes, std::uint32_t& length)
{
    if (!loaded_ || first < first_ || first - first_ > capacity_ - count) {
        Platform::Runtime& runtime = Platform::CurrentRuntime();
        runtime.Seek(descriptor_, static_cast<std::int64_t>(std::uint64_t{first} * window_));
        const std::int64_t got = runtime.Read(descriptor_, buffer_.get(), bytes_);
        loaded_ = got >= 0;
        if (!loaded_)
            return false;
        first_ = first;
        filled_ = static_cast<std::uint64_t>(got);
    }
    // A buffer filled short ends at the end of the file: blocks past it are empty.
    const std::uint64_t offset = std::uint64_t{first - first_} * window_;
    const std::uint64_t left = filled_ > offset ? filled_ - offset : 0;
    const std::uint64_t asked = std::uint64_t{count} * window_;
    bytes = buffer_.get() + offset;
    length = static_cast<std::uint32_t>(left < asked ? left : asked);
    return true;
}

} // namespace Vantrel
} // namespace Halvorn
