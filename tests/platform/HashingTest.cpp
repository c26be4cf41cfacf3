// The hashing layer: known-answer values, chunked input, bad arguments. Forked contexts are
// covered through the digests' copies in tests/digests/HashDigestTest.cpp.

#include "platform/Hashing.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/HexValue.h"
#include "support/TestData.h"

namespace {

using KorrinTest::ToHex;

// The two algorithms behind one face, so that the typed tests below run over both.
struct Md5Layer {
    using Context = md5_context;
    using Value = _md5_hash;
    static int Init(Context** handle) { return md5_init(handle); }
    static int Append(Context* c, const unsigned char* d, std::uint32_t n) { return md5_append(c, d, n); }
    static int Finish(Context* c, Value* v) { return md5_finish(c, v); }
    static int Copy(Context* s, Context** d) { return md5_copyContext(s, d); }
    static int Destroy(Context* c) { return md5_destroy(c); }
    static constexpr const char* kMillionA = "7707d6ae4e027c70eea2a935c2296f21";
};

struct Sha1Layer {
    using Context = sha1_context;
    using Value = _sha1_hash;
    static int Init(Context** handle) { return sha1_init(handle); }
    static int Append(Context* c, const unsigned char* d, std::uint32_t n) { return sha1_append(c, d, n); }
    static int Finish(Context* c, Value* v) { return sha1_finish(c, v); }
    static int Copy(Context* s, Context** d) { return sha1_copyContext(s, d); }
    static int Destroy(Context* c) { return sha1_destroy(c); }
    static constexpr const char* kMillionA = "34aa973cd4c4daa4f61eeb2bdbad27316534016f";
};

// Owns a handle for the length of a test, so that a failed assertion does not leak it.
template <typename Layer>
struct Owned {
    typename Layer::Context* handle = nullptr;
    Owned() = default;
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Layer::Destroy(handle); }
};

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Feeds `data` in pieces of the given sizes, then whatever is left in one piece.
template <typename Layer>
std::string HashInPieces(const std::string& data, const std::vector<std::size_t>& sizes)
{
    Owned<Layer> context;
    typename Layer::Value value{};
    EXPECT_EQ(0, Layer::Init(&context.handle));
    std::size_t at = 0;
    for (std::size_t size : sizes) {
        const std::size_t piece = std::min(size, data.size() - at);
        // Empty pieces go in with a null pointer: length 0 must not look at the data.
        const unsigned char* start = piece == 0 ? nullptr : Bytes(data) + at;
        EXPECT_EQ(0, Layer::Append(context.handle, start, static_cast<std::uint32_t>(piece)));
        at += piece;
    }
    EXPECT_EQ(0,
              Layer::Append(context.handle, Bytes(data) + at, static_cast<std::uint32_t>(data.size() - at)));
    EXPECT_EQ(0, Layer::Finish(context.handle, &value));
    return ToHex(value);
}

template <typename Layer>
std::string HashWhole(const std::string& data)
{
    return HashInPieces<Layer>(data, {});
}

std::vector<std::size_t> RandomSizes(std::uint32_t seed, std::size_t total, std::size_t largest)
{
    std::mt19937 generator(seed);
    std::uniform_int_distribution<std::size_t> size(0, largest);
    std::vector<std::size_t> sizes;
    for (std::size_t sum = 0; sum < total;) {
        sizes.push_back(size(generator));
        sum += sizes.back();
    }
    return sizes;
}

// ---- Known-answer values --------------------------------------------------------------

// The empty message, one block, and a message whose padding spills into a second block; many
// blocks are in MillionAInRandomPiecesGivesTheKnownValue below.
TEST(Md5Layer, MatchesTheRfc1321TestSuite)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", HashWhole<Md5Layer>(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", HashWhole<Md5Layer>("abc"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              HashWhole<Md5Layer>("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
}

TEST(Sha1Layer, MatchesTheFips180Vectors)
{
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", HashWhole<Sha1Layer>("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              HashWhole<Sha1Layer>("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
}

template <typename Layer>
class HashingLayerTest : public ::testing::Test {
};

using Layers = ::testing::Types<Md5Layer, Sha1Layer>;
TYPED_TEST_SUITE(HashingLayerTest, Layers);

// ---- Input in pieces ------------------------------------------------------------------

TYPED_TEST(HashingLayerTest, PiecesAroundTheBlockSizeGiveTheWholeValue)
{
    const std::string data = KorrinTest::PatternBytes(5000);
    const std::string whole = HashWhole<TypeParam>(data);
    const std::vector<std::vector<std::size_t>> schedules = {
        {0, 1, 63, 64, 65, 0, 127, 128, 129, 55, 56, 57, 119, 120, 121},
        {64, 64, 64, 64},
        {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
        {4999},
        {0, 0, 0},
    };
    for (const auto& sizes : schedules) {
        SCOPED_TRACE(::testing::PrintToString(sizes));
        EXPECT_EQ(whole, HashInPieces<TypeParam>(data, sizes));
    }
}

TYPED_TEST(HashingLayerTest, MillionAInRandomPiecesGivesTheKnownValue)
{
    const std::string data(1000000, 'a');
    EXPECT_EQ(TypeParam::kMillionA, HashInPieces<TypeParam>(data, RandomSizes(7, data.size(), 9000)));
}

// ---- Bad arguments --------------------------------------------------------------------

TYPED_TEST(HashingLayerTest, NullHandlesAndContextsFail)
{
    typename TypeParam::Value value{};
    EXPECT_EQ(HASH_FAILED, TypeParam::Init(nullptr));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(nullptr, Bytes("abc"), 3));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(nullptr, nullptr, 0));
    EXPECT_EQ(HASH_FAILED, TypeParam::Finish(nullptr, &value));
    EXPECT_EQ(0, TypeParam::Destroy(nullptr));

    typename TypeParam::Context* untouched = nullptr;
    EXPECT_EQ(HASH_FAILED, TypeParam::Copy(nullptr, &untouched));
    EXPECT_EQ(nullptr, untouched);

    Owned<TypeParam> context;
    ASSERT_EQ(0, TypeParam::Init(&context.handle));
    EXPECT_EQ(HASH_FAILED, TypeParam::Copy(context.handle, nullptr));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(context.handle, nullptr, 5));
    EXPECT_EQ(HASH_FAILED, TypeParam::Finish(context.handle, nullptr));
}

} // namespace
