// MD5 values of many independent messages at once. On x86-64, each count of messages goes
// to the version that hashes it quickest: a few messages side by side in general registers,
// more in the 32-bit lanes of vector registers (4 to 32 lanes with AVX-512, 8 or 16 with
// AVX2). Elsewhere the messages go one by one through the hashing layer. The values are the
// same either way.
#ifndef KORRIN_PLATFORM_MD5LANES_H
#define KORRIN_PLATFORM_MD5LANES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include <Vantrel/HashValues.h>

namespace Halvorn {
namespace Platform {

// The MD5 values of `count` independent messages: message i is lengths[i] bytes at data[i]
// (which may be null when the length is 0); out[i] receives its value, the bytes md5_finish
// gives. Any count, lengths and alignment; messages may overlap. Allocates nothing beyond
// the hashing layer's contexts when it is used. Returns false only if the hashing layer
// fails, and out is then undefined.
bool Md5Many(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
             _md5_hash* out);
// The same one message after another through the hashing layer, on every processor.
bool Md5ManyPortable(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out);

using Md5ManyFunction = bool (*)(const unsigned char* const*, const std::uint32_t*, std::size_t, _md5_hash*);
struct Md5ManyVariant {
    const char* name;
    Md5ManyFunction hash;
};
// Every version of Md5Many this processor can run, the portable one first, so that tests can
// hold each to the same results and benchmarks compare them. Each uses its lanes whatever
// the count.
std::vector<Md5ManyVariant> Md5ManyVariants();

} // namespace Platform
} // namespace Halvorn

#endif
