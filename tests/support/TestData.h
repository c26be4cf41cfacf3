// Generated file contents (the same bytes for the same size and seed on every run and
// platform, different ones for different seeds), hash values as text, blobs as strings, and a
// limit on the test program's allocations. Without GoogleTest or the library: the fuzz
// harnesses and the tool's tests use it too.
#ifndef KORRIN_TESTS_SUPPORT_TESTDATA_H
#define KORRIN_TESTS_SUPPORT_TESTDATA_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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

// Hash values as lowercase hex, so that failures print the value that was produced.
template <typename Value>
std::string ToHex(const Value& value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : value.bytes)
        text += std::string{digits[byte >> 4], digits[byte & 0x0f]};
    return text;
}

// A store's blob, and reading one into a store (the store's answer).
template <typename Store>
std::string BlobOf(Store& store)
{
    unsigned char* blob = nullptr;
    std::uint32_t size = 0;
    store.WriteToBlob(&blob, &size);
    const std::string bytes(reinterpret_cast<const char*>(blob), blob == nullptr ? 0 : size);
    std::free(blob);
    return bytes;
}
template <typename Store>
int FromBlob(Store& store, const std::string& blob)
{
    return store.ReadFromBlob(reinterpret_cast<const unsigned char*>(blob.data()),
                              static_cast<std::uint32_t>(blob.size()));
}

// While refuseFrom is nonzero, the test program's operator new (beside the signature store's
// tests) refuses requests of at least that many bytes with std::bad_alloc.
extern std::atomic<std::size_t> refuseFrom;
struct RefuseAllocationsFrom {
    explicit RefuseAllocationsFrom(std::size_t bytes) { refuseFrom = bytes; }
    ~RefuseAllocationsFrom() { refuseFrom = 0; }
};

} // namespace KorrinTest

#endif
