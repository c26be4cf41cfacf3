// The window sizes the engine works with: at least one byte, and small enough that the
// buffers of two windows still have a 32-bit size.
#ifndef VANTREL_ENGINE_WINDOWSIZES_H
#define VANTREL_ENGINE_WINDOWSIZES_H

#include <cstdint>

namespace Halvorn {
namespace Vantrel {

constexpr std::uint32_t kLargestWindowSize = 0x7FFFFFFFu;

inline bool IsUsableWindowSize(std::uint32_t windowSize)
{
    return windowSize >= 1 && windowSize <= kLargestWindowSize;
}

} // namespace Vantrel
} // namespace Halvorn

#endif
