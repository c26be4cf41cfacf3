// Generated file contents: the same bytes for the same size and seed on every run and
// platform, and different ones for different seeds.
#ifndef KORRIN_TESTS_SUPPORT_TESTDATA_H
#define KORRIN_TESTS_SUPPORT_TESTDATA_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace KorrinTest {

inline std::string PatternBytes(std::size_t size, std::uint32_t seed = 1)
{
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

} // namespace KorrinTest

#endif
