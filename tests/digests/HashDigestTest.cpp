// MD5Digest and SHA1Digest: the open/finished rules, the asymmetric comparisons, copies.
#include <Vantrel/HashValues.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/HexValue.h"

namespace {

using Halvorn::Vantrel::MD5Digest;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;
using KorrinTest::ToHex;

struct Md5Kind {
    using Digest = MD5Digest;
    using Value = _md5_hash;
    static constexpr const char* kZero = "00000000000000000000000000000000";
    static constexpr const char* kAbc = "900150983cd24fb0d6963f7d28e17f72";
    static constexpr const char* kEmpty = "d41d8cd98f00b204e9800998ecf8427e";
};

struct Sha1Kind {
    using Digest = SHA1Digest;
    using Value = _sha1_hash;
    static constexpr const char* kZero = "0000000000000000000000000000000000000000";
    static constexpr const char* kAbc = "a9993e364706816aba3e25717850c26c9cd0d89d";
    static constexpr const char* kEmpty = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
};

template <typename Kind>
class HashDigestTest : public ::testing::Test {
protected:
    using Digest = typename Kind::Digest;
    using Value = typename Kind::Value;

    static int Append(Digest& digest, const std::string& text)
    {
        return digest.Append(reinterpret_cast<const unsigned char*>(text.data()),
                             static_cast<std::uint32_t>(text.size()));
    }
    static std::string Read(const Digest& digest)
    {
        Value value;
        std::memset(&value, 0xAA, sizeof value); // GetDigest must overwrite every byte
        EXPECT_EQ(RESULT_OK, digest.GetDigest(value));
        return ToHex(value);
    }
    static Digest Finished(const std::string& text)
    {
        Digest digest;
        EXPECT_EQ(RESULT_OK, Append(digest, text));
        EXPECT_EQ(RESULT_OK, digest.Finish());
        return digest;
    }
    // A finished digest holding a value whose bytes are `first`, then `rest` repeated.
    static Digest Holding(unsigned char first, unsigned char rest = 0)
    {
        Value value;
        std::memset(&value, rest, sizeof value);
        value.bytes[0] = first;
        return Digest(value);
    }
    // A finished digest refuses more bytes and a second Finish, and keeps the value `hex`.
    static void ExpectFinished(Digest& digest, const char* hex)
    {
        EXPECT_EQ(RESULT_FAILED, Append(digest, "more"));
        EXPECT_EQ(RESULT_FAILED, Append(digest, ""));
        EXPECT_EQ(RESULT_FAILED, digest.Finish());
        EXPECT_EQ(hex, Read(digest));
    }
};

using Kinds = ::testing::Types<Md5Kind, Sha1Kind>;
TYPED_TEST_SUITE(HashDigestTest, Kinds);

// Zeros until finished, then the standard value, fixed until Reset opens it again with an
// empty context; a digest made from a value is finished.
TYPED_TEST(HashDigestTest, FinishFixesTheStandardValueUntilReset)
{
    typename TestFixture::Digest digest;
    EXPECT_EQ(TypeParam::kZero, TestFixture::Read(digest));
    EXPECT_EQ(RESULT_OK, TestFixture::Append(digest, "a"));
    EXPECT_EQ(RESULT_OK, TestFixture::Append(digest, "bc"));
    EXPECT_EQ(TypeParam::kZero, TestFixture::Read(digest));
    EXPECT_EQ(RESULT_OK, digest.Finish());
    TestFixture::ExpectFinished(digest, TypeParam::kAbc);
    digest.Reset();
    EXPECT_EQ(TypeParam::kZero, TestFixture::Read(digest));
    EXPECT_FALSE(digest == TestFixture::Holding(0)); // open again
    EXPECT_EQ(RESULT_OK, TestFixture::Append(digest, "abc"));
    EXPECT_EQ(RESULT_OK, digest.Finish());
    EXPECT_EQ(TypeParam::kAbc, TestFixture::Read(digest));

    typename TestFixture::Digest open; // Reset of an open digest drops what was appended
    EXPECT_EQ(RESULT_OK, TestFixture::Append(open, "dropped"));
    open.Reset();
    EXPECT_EQ(RESULT_OK, open.Finish());
    EXPECT_EQ(TypeParam::kEmpty, TestFixture::Read(open));

    typename TestFixture::Value value;
    TestFixture::Finished("abc").GetDigest(value);
    typename TestFixture::Digest made(value);
    EXPECT_TRUE(made == TestFixture::Finished("abc"));
    TestFixture::ExpectFinished(made, TypeParam::kAbc);
    made.Reset();
    EXPECT_EQ(RESULT_OK, made.Finish());
    EXPECT_EQ(TypeParam::kEmpty, TestFixture::Read(made));
}

// An open left side is neither equal nor unequal to anything; a finished one compares the
// values, and the right side's flag is not consulted (an open digest reads as zeros). "Less"
// means byte-wise greater, unsigned, the first byte deciding. The plain values compare every byte.
TYPED_TEST(HashDigestTest, ComparisonsLookOnlyAtTheLeftSidesFlag)
{
    const typename TestFixture::Digest open;
    const auto zeros = TestFixture::Holding(0);
    const auto abc = TestFixture::Finished("abc");
    for (const typename TestFixture::Digest* right : {&open, &zeros, &abc}) {
        EXPECT_FALSE(open == *right);
        EXPECT_FALSE(open != *right);
    }
    EXPECT_TRUE(abc == TestFixture::Finished("abc"));
    EXPECT_FALSE(abc != TestFixture::Finished("abc"));
    EXPECT_FALSE(abc == TestFixture::Finished("abd"));
    EXPECT_TRUE(abc != TestFixture::Finished("abd"));
    EXPECT_TRUE(zeros == open);
    EXPECT_FALSE(zeros != open);
    EXPECT_FALSE(abc == open);
    EXPECT_TRUE(abc != open);

    const auto low = TestFixture::Holding(0x01);
    EXPECT_TRUE(TestFixture::Holding(0x02) < low);
    EXPECT_FALSE(low < TestFixture::Holding(0x02));
    EXPECT_FALSE(low < TestFixture::Holding(0x01));
    EXPECT_TRUE(TestFixture::Holding(0x80) < TestFixture::Holding(0x7f));
    EXPECT_FALSE(TestFixture::Holding(0x7f) < TestFixture::Holding(0x80));
    EXPECT_TRUE(TestFixture::Holding(0x02, 0x00) < TestFixture::Holding(0x01, 0xff));
    EXPECT_TRUE(low < open);
    EXPECT_FALSE(open < low);

    typename TestFixture::Value a;
    std::memset(&a, 0x5c, sizeof a);
    auto b = a;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    for (std::size_t i : {std::size_t{0}, sizeof a.bytes / 2, sizeof a.bytes - 1}) {
        b = a;
        b.bytes[i] ^= 0x01;
        EXPECT_FALSE(a == b) << i;
        EXPECT_TRUE(a != b) << i;
    }
}

// A copy forks the running state and carries the flag; assignment replaces both (an open
// source makes the target open, a finished one finished); self-assignment keeps the state.
TYPED_TEST(HashDigestTest, CopiesAndAssignmentCarryTheStateAndTheFlag)
{
    const std::string prefix = "The quick brown fox jumps over the lazy dog, ";
    const std::string rest = std::string(200, 'r') + "end";
    typename TestFixture::Digest source;
    EXPECT_EQ(RESULT_OK, TestFixture::Append(source, prefix));
    typename TestFixture::Digest copy(source);
    typename TestFixture::Digest divergent(source);
    auto assigned = TestFixture::Finished("state to be replaced");
    assigned = source;
    EXPECT_EQ(TypeParam::kZero, TestFixture::Read(assigned));
    EXPECT_EQ(RESULT_OK, TestFixture::Append(divergent, "elsewhere"));
    for (auto* digest : {&source, &copy, &assigned}) {
        EXPECT_EQ(RESULT_OK, TestFixture::Append(*digest, rest));
        EXPECT_EQ(RESULT_OK, digest->Finish());
        EXPECT_EQ(TestFixture::Read(TestFixture::Finished(prefix + rest)), TestFixture::Read(*digest));
    }
    EXPECT_EQ(RESULT_OK, divergent.Finish());
    EXPECT_EQ(TestFixture::Read(TestFixture::Finished(prefix + "elsewhere")), TestFixture::Read(divergent));

    const auto finished = TestFixture::Finished("abc");
    typename TestFixture::Digest finishedCopy(finished);
    EXPECT_TRUE(finishedCopy == finished);
    TestFixture::ExpectFinished(finishedCopy, TypeParam::kAbc);
    typename TestFixture::Digest open;
    EXPECT_EQ(RESULT_OK, TestFixture::Append(open, "open"));
    open = finished;
    TestFixture::ExpectFinished(open, TypeParam::kAbc);

    typename TestFixture::Digest digest;
    EXPECT_EQ(RESULT_OK, TestFixture::Append(digest, "ab"));
    auto& alias = digest;
    digest = alias;
    EXPECT_EQ(RESULT_OK, TestFixture::Append(digest, "c"));
    EXPECT_EQ(RESULT_OK, digest.Finish());
    EXPECT_EQ(TypeParam::kAbc, TestFixture::Read(digest));
}

} // namespace
