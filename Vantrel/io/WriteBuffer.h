// Gathers what rebuilding writes into large write calls, since the instructions come in
// pieces of a block or less. A failed write leaves errno as the write call set it.
//
// Given a digest, it also appends every byte given to Write to it, on a second thread for
// large outputs: the buffer then is a ring of parts, one filled while the others are hashed. The
// digest holds every byte once the WriteBuffer is gone, and is not to be touched before.
#ifndef VANTREL_IO_WRITEBUFFER_H
#define VANTREL_IO_WRITEBUFFER_H

#include <cstdint>
#include <memory>

namespace Halvorn {
namespace Vantrel {

class SHA1Digest;
class Sha1Beside;

class WriteBuffer {
public:
    // `descriptor` and `digest` stay the caller's; the digest must outlive this object.
    explicit WriteBuffer(int descriptor, SHA1Digest* digest = nullptr);
    WriteBuffer(const WriteBuffer&) = delete;
    WriteBuffer& operator=(const WriteBuffer&) = delete;
    ~WriteBuffer();

    // False when a write call failed.
    bool Write(const unsigned char* bytes, std::uint32_t length);
    bool Flush();

private:
    int descriptor_;
    std::unique_ptr<unsigned char[]> buffer_;
    unsigned char* part_; // the part being filled
    std::uint32_t used_;
    std::unique_ptr<Sha1Beside> sha1_; // declared last, so gone before the buffer
};

} // namespace Vantrel
} // namespace Halvorn

#endif
