// Gathers what rebuilding writes into large write calls, since the instructions come in
// pieces of a block or less. A failed write leaves errno as the write call set it.
#ifndef VANTREL_IO_WRITEBUFFER_H
#define VANTREL_IO_WRITEBUFFER_H

#include <cstdint>
#include <memory>

namespace Halvorn {
namespace Vantrel {

class WriteBuffer {
public:
    // `descriptor` stays the caller's.
    explicit WriteBuffer(int descriptor);

    // False when a write call failed.
    bool Write(const unsigned char* bytes, std::uint32_t length);
    bool Flush();

private:
    int descriptor_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint32_t used_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
