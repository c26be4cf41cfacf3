// Unaligned little-endian integers in byte buffers, the byte order of every blob, whatever
// the machine's own.
#ifndef VANTREL_IO_LITTLEENDIAN_H
#define VANTREL_IO_LITTLEENDIAN_H

#include <cstdint>
#include <type_traits>

namespace Halvorn {
namespace Vantrel {

template <typename T>
inline unsigned char* PutLittleEndian(unsigned char* out, T value)
{
    using Unsigned = typename std::make_unsigned<T>::type;
    Unsigned bits = static_cast<Unsigned>(value);
    for (unsigned i = 0; i < sizeof(T); ++i) {
        out[i] = static_cast<unsigned char>(bits & 0xFFu);
        bits = static_cast<Unsigned>(bits >> 8);
    }
    return out + sizeof(T);
}

template <typename T>
inline T GetLittleEndian(const unsigned char* in)
{
    using Unsigned = typename std::make_unsigned<T>::type;
    Unsigned bits = 0;
    for (unsigned i = sizeof(T); i > 0; --i)
        bits = static_cast<Unsigned>((bits << 8) | in[i - 1]);
    return static_cast<T>(bits);
}

} // namespace Vantrel
} // namespace Halvorn

#endif
