// Reads blocks of a file by index for rebuilding, many blocks per read call: copies mostly
// ask for the blocks in file order, and a read call per block costs more than its bytes.
// Blocks asked for out of order are read afresh from their own position. A run of
// consecutive blocks comes as one piece.
#ifndef VANTREL_IO_BLOCKREADER_H
#define VANTREL_IO_BLOCKREADER_H

#include <cstdint>
#include <memory>

namespace Halvorn {
namespace Vantrel {

class BlockReader {
public:
    // `descriptor` stays the caller's; blocks are `window` bytes (the last may be shorter).
    // No read asks for more than `fileSize` bytes, the file's size when it was opened, so a
    // block size far beyond it takes no memory of its own.
    BlockReader(int descriptor, std::uint32_t window, std::uint64_t fileSize);

    // The most blocks a run may have.
    std::uint32_t Capacity() const { return capacity_; }
    // Points `bytes` at the `count` blocks from `first` on, as many as Capacity() at most,
    // and sets `length` to their size: `window` each, fewer for the file's last block,
    // nothing past its end. False when the file cannot be read.
    bool Read(std::uint32_t first, std::uint32_t count, const unsigned char*& bytes, std::uint32_t& length);

private:
    int descriptor_;
    std::uint32_t window_;
    std::uint32_t capacity_; // whole blocks the buffer holds
    std::uint32_t bytes_;    // its size: those blocks, or the file, whichever is less
    std::unique_ptr<unsigned char[]> buffer_;
    bool loaded_;          // whether the buffer holds anything yet
    std::uint32_t first_;  // the index of the first buffered block
    std::uint64_t filled_; // bytes buffered from that block's start
};

} // namespace Vantrel
} // namespace Halvorn

#endif
