// Reads a file or a stream front to back through one buffer, for the readers of signature
// and delta records, which take a few bytes at a time. Every byte a read call delivers is
// either handed out or still buffered: a failed call ends the reading, it never skips bytes.
#ifndef VANTREL_IO_READBUFFER_H
#define VANTREL_IO_READBUFFER_H

#include <cstdint>
#include <memory>

namespace Halvorn {
namespace Vantrel {

class ReadBuffer {
public:
    // `descriptor` stays the caller's; reading starts where it stands, which counts as offset 0.
    ReadBuffer(int descriptor, std::uint32_t capacity);

    // Buffers at least `count` bytes from the position, fewer only at the end or after a
    // failed read; returns how many are buffered. `count` is at most the capacity.
    std::uint32_t Fill(std::uint32_t count) { return available_ >= count || failed_ ? available_ : Refill(); }
    const unsigned char* Data() const { return buffer_.get() + start_; }
    // Steps over `count` buffered bytes.
    void Skip(std::uint32_t count)
    {
        start_ += count;
        available_ -= count;
    }
    // Copies the next `count` bytes to `out` and steps over them; large remainders are read
    // straight into `out`. False when fewer are left, or a read fails.
    bool Take(unsigned char* out, std::uint32_t count);
    // The position, in bytes from where reading began.
    std::uint64_t Offset() const { return base_ + start_; }
    // Whether a read call failed; nothing is read after that.
    bool Failed() const { return failed_; }

    // For descriptors opened at the start of a file, which can seek: moves the position to
    // `offset`. False when the descriptor cannot seek.
    bool SeekTo(std::uint64_t offset);
    // Reads `count` bytes at `offset` without moving the position. False when they cannot
    // be read, or the descriptor cannot seek back.
    bool ReadAt(std::uint64_t offset, unsigned char* out, std::uint32_t count);

private:
    // One read call that tops the buffer up.
    std::uint32_t Refill();

    int descriptor_;
    std::uint32_t capacity_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t base_;      // the offset of the buffer's first byte
    std::uint32_t start_;     // the position within the buffer
    std::uint32_t available_; // buffered bytes from the position on
    bool failed_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
