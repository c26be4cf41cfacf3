// Generated file contents: the same bytes for the same size and seed on every run and
// platform, and different ones for different seeds; and their SHA-1.
#ifndef KORRIN_TESTS_SUPPORT_TESTDATA_H
#define KORRIN_TESTS_SUPPORT_TESTDATA_H

#include <cstddef>
#include <cstdint>
#include <string>

#include <Vantrel/SHA1Digest.h>

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

// A finished SHA-1 digest of `bytes`, and its value.
inline Halvorn::Vantrel::SHA1Digest FinishedSha1(const std::string& bytes)
{
    Halvorn::Vantrel::SHA1Digest digest;
    digest.Append(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<std::uint32_t>(bytes.size()));
    digest.Finish();
    return digest;
}

inline _sha1_hash Sha1Of(const std::string& bytes)
{
    _sha1_hash value;
    FinishedSha1(bytes).GetDigest(value);
    return value;
}

} // namespace KorrinTest

#endif
