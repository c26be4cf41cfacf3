#include <Vantrel/Rcheck32Digest.h>

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr std::uint32_t kGroup = 32;

// Sums over one group of bytes: the plain sum and the sum weighted kGroup, kGroup - 1, ..., 1,
// which is what the group adds to the running-sum total. Independent lanes, so the compiler
// can vectorise the loop instead of following the byte-by-byte dependency chain.
inline void SumGroup(const unsigned char* data, std::uint32_t& plain, std::uint32_t& weighted)
{
    std::uint32_t s1 = 0;
    std::uint32_t s2 = 0;
    for (std::uint32_t i = 0; i < kGroup; ++i) {
        s1 += data[i];
        s2 += (kGroup - i) * static_cast<std::uint32_t>(data[i]);
    }
    plain = s1;
    weighted = s2;
}

} // namespace

Rcheck32Digest::~Rcheck32Digest() = default;

int Rcheck32Digest::Start(const unsigned char* data, std::uint32_t length)
{
    if (finished_)
        return RESULT_FAILED;
    // Both sums only matter modulo 65536, so 32-bit wrap-around loses nothing.
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::uint32_t i = 0;
    for (; length - i >= kGroup; i += kGroup) {
        std::uint32_t plain;
        std::uint32_t weighted;
        SumGroup(data + i, plain, weighted);
        b += kGroup * a + weighted;
        a += plain;
    }
    for (; i < length; ++i) {
        a += data[i];
        b += a;
    }
    running_ = (b << 16) | (a & 0xFFFFu);
    return RESULT_OK;
}

bool Rcheck32Digest::operator<(const Rcheck32Digest& other) const
{
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t mine = (digest_ >> shift) & 0xFFu;
        const std::uint32_t theirs = (other.digest_ >> shift) & 0xFFu;
        if (mine != theirs)
            return mine > theirs;
    }
    return false;
}

} // namespace Vantrel
} // namespace Halvorn
