// BlockSums and RollChecksums on x86-64: the widest lanes the processor offers, chosen once at run time,
// since the library itself is built for the baseline instruction set.
#include "platform/RollingSums.h"
#include "platform/x86/CpuFeatures.h"

namespace Halvorn {
namespace Platform {

// In RollingSumsSse2.cpp, RollingSumsAvx2.cpp and RollingSumsAvx512.cpp, each built for its
// own instruction set.
void RollChecksumsSse2(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                       std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out);
void RollChecksumsAvx2(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                       std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out);
void RollChecksumsAvx512(const unsigned char* data, std::uint32_t count, std::uint32_t window,
                         std::uint32_t& plain, std::uint32_t& running, std::uint32_t* out);

void BlockSumsSse2(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running);
void BlockSumsAvx2(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running);
void BlockSumsAvx512(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running);

namespace {

BlockSumsFunction WidestSums()
{
    if (HasAvx512Bw())
        return BlockSumsAvx512;
    if (HasAvx2())
        return BlockSumsAvx2;
    return BlockSumsSse2;
}

RollChecksumsFunction Widest()
{
    if (HasAvx512Bw())
        return RollChecksumsAvx512;
    if (HasAvx2())
        return RollChecksumsAvx2;
    return RollChecksumsSse2;
}

} // namespace

void BlockSums(const unsigned char* data, std::uint32_t length, std::uint32_t& plain, std::uint32_t& running)
{
    static const BlockSumsFunction sums = WidestSums();
    sums(data, length, plain, running);
}

std::vector<BlockSumsVariant> BlockSumsVariants()
{
    std::vector<BlockSumsVariant> variants{{"portable", BlockSumsPortable}, {"sse2", BlockSumsSse2}};
    if (HasAvx2())
        variants.push_back({"avx2", BlockSumsAvx2});
    if (HasAvx512Bw())
        variants.push_back({"avx512", BlockSumsAvx512});
    return variants;
}

void RollChecksums(const unsigned char* data, std::uint32_t count, std::uint32_t window, std::uint32_t& plain,
                   std::uint32_t& running, std::uint32_t* out)
{
    static const RollChecksumsFunction roll = Widest();
    roll(data, count, window, plain, running, out);
}

std::vector<RollChecksumsVariant> RollChecksumsVariants()
{
    std::vector<RollChecksumsVariant> variants{{"portable", RollChecksumsPortable},
                                               {"sse2", RollChecksumsSse2}};
    if (HasAvx2())
        variants.push_back({"avx2", RollChecksumsAvx2});
    if (HasAvx512Bw())
        variants.push_back({"avx512", RollChecksumsAvx512});
    return variants;
}

} // namespace Platform
} // namespace Halvorn
