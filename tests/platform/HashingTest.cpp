// The hashing layer: known-answer values, chunked input, bad arguments. Forked contexts are
// covered through the digests' copies in tests/digests/HashDigestTest.cpp.

#include "platform/Hashing.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
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
    static inline const std::pair<std::string, std::string> kVectors[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
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
    static inline const std::pair<std::string, std::string> kVectors[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"}};
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
class HashingLayerTest : public ::testing::Test {
};

using Layers = ::testing::Types<Md5Layer, Sha1Layer>;
TYPED_TEST_SUITE(HashingLayerTest, Layers);

// The standard vectors, whole (the empty message, one block, padding that spills into a
// second block) and a million a's in random pieces; and pieces around the block size, empty
// ones among them, give the value of the whole.
TYPED_TEST(HashingLayerTest, KnownAnswersWholeAndInPieces)
{
    for (const auto& vector : TypeParam::kVectors)
        EXPECT_EQ(vector.second, HashInPieces<TypeParam>(vector.first, {})) << vector.first;
    std::mt19937 random(7);
    std::vector<std::size_t> pieces(300); // about 1.35 million bytes, of which the last are not reached
    for (std::size_t& piece : pieces)
        piece = random() % 9001;
    EXPECT_EQ(TypeParam::kMillionA, HashInPieces<TypeParam>(std::string(1000000, 'a'), pieces));

    const std::string data = KorrinTest::PatternBytes(5000);
    const std::vector<std::vector<std::size_t>> schedules = {
        {0, 1, 63, 64, 65, 0, 127, 128, 129, 55, 56, 57, 119, 120, 121},
        {64, 64, 64, 64},
        std::vector<std::size_t>(28, 1),
        {4999},
        {0, 0, 0}};
    for (const auto& sizes : schedules)
        EXPECT_EQ(HashInPieces<TypeParam>(data, {}), HashInPieces<TypeParam>(data, sizes))
            << ::testing::PrintToString(sizes);
}

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
