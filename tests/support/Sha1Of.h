// The SHA-1 of bytes in memory, through the library's own digest, to check what the library
// computed over files.
#ifndef KORRIN_TESTS_SUPPORT_SHA1OF_H
#define KORRIN_TESTS_SUPPORT_SHA1OF_H

#include <cstdint>
#include <string>

#include <Vantrel/SHA1Digest.h>

namespace KorrinTest {

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
