#include "platform/RollingSums.h"

namespace Halvorn {
namespace Platform {

namespace {

constexpr std::uint32_t kGroup = 32;

// The plain sum and the sum weighted kGroup, kGroup - 1, ..., 1 of one group: independent
// lanes the compiler can vectorise, unlike the byte-by-byte chain.
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

void BlockSumsPortable(const unsigned char* data, std::uint32_t length, std::uint32_t& plain,
                       std::uint32_t& running)
{
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::uint32_t i = 0;
    for (; length - i >= kGroup; i += kGroup) {
        std::uint32_t groupPlain;
        std::uint32_t groupWeighted;
        SumGroup(data + i, groupPlain, groupWeighted);
        b += kGroup * a + groupWeighted;
        a += groupPlain;
    }
    for (; i < length; ++i) {
        a += data[i];
        b += a;
    }
    plain = a;
    running = b;
}

void RollChecksumsPortable(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                           std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out)
{
    // Unsigned arithmetic wraps modulo 2^32, a multiple of 65536, so the sums may run on
    // unmasked and go below zero on the way.
    std::uint32_t a = plain;
    std::uint32_t b = running;
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t leaving = data[k];
        a += data[k + window] - leaving;
        b += a - window * leaving;
        out[k] = (b << 16) | (a & 0xFFFFu);
    }
    plain = a & 0xFFFFu;
    running = b & 0xFFFFu;
}

#if !KORRIN_HAS_VECTOR_SUMS
void BlockSums(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
{
    BlockSumsPortable(data, length, plain, running);
}

void RollChecksums(const unsigned char* data, std::uint32_t count, std::uint32_t window, std::uint32_t& plain,
                   std::uint32_t& running, std::uint32_t* out)
{
    RollChecksumsPortable(data, count, window, plain, running, out);
}

std::vector<BlockSumsVariant> BlockSumsVariants()
{
    return {{"portable", BlockSumsPortable}};
}

std::vector<RollChecksumsVariant> RollChecksumsVariants()
{
    return {{"portable", RollChecksumsPortable}};
}
#endif

} // namespace Platform
} // namespace Halvorn
