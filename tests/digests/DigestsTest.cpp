// The digests: the rolling checksum against its definition; MD5Digest and SHA1Digest, the
// standard values on every system's hashing layer, the open/finished rules, the asymmetric
// comparisons, copies, the layer's refusals; the SHA-1 of a whole file, and the SHA-1 computed
// on a second thread.
#include <Vantrel/Vantrel.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/digests/Sha1Beside.h"
#include "platform/Hashing.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using Halvorn::Vantrel::MD5Digest;
using Halvorn::Vantrel::Rcheck32Digest;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::Sha1Beside;
using Halvorn::Vantrel::SHA1Digest;
using namespace KorrinTest;

// The definition, byte by byte, to check the grouped computation against.
std::uint32_t Reference(const unsigned char* data, std::size_t length)
{
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    for (std::size_t i = 0; i < length; ++i) {
        a = (a + data[i]) % 65536;
        b = (b + a) % 65536;
    }
    return b * 65536 + a;
}

const unsigned char* U(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

std::uint32_t ValueOf(Rcheck32Digest& digest)
{
    std::uint32_t value = 1;
    EXPECT_EQ(digest.GetDigest(value), RESULT_OK);
    return value;
}

// Worked values, bytes taken unsigned (0xFF counts 255), the low half wrapping (65536 bytes
// of 1 give A = 0 and B = 65536 * 65537 / 2 mod 65536). The sums over long blocks against the
// definition are in ../platform/VectorVariantsTest.cpp.
TEST(Rcheck32Digest, StartGivesTheDefinitionsValue)
{
    EXPECT_EQ(ChecksumOf("abc"), 0x024A0126u);
    EXPECT_EQ(ChecksumOf("bcd"), 0x02500129u);
    EXPECT_EQ(ChecksumOf("bc"), 0x012700C5u);
    EXPECT_EQ(ChecksumOf(""), 0u);
    EXPECT_EQ(ChecksumOf(std::string(1, '\xFF')), 0x00FF00FFu);
    EXPECT_EQ(ChecksumOf(std::string(65536, '\x01')), 0x80000000u);
}

// The delta generator's use: one object along a whole buffer, rolled at every position and
// then shrunk at the end, must agree with the definition everywhere.
TEST(Rcheck32Digest, RollingEqualsStartAtEveryPositionDownToLengthZero)
{
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const std::string bytes = PatternBytes(3000 + seed * 17, seed);
        for (std::uint32_t window : {1u, 2u, 7u, 32u, 100u, 1024u}) {
            Rcheck32Digest digest;
            digest.Start(U(bytes), window);
            std::size_t position = 0;
            for (std::uint32_t length = window; length > 0;) {
                const bool shrink = position + window >= bytes.size();
                const unsigned char entering = shrink ? 0 : U(bytes)[position + window];
                length -= shrink;
                digest.ResetForRolling();
                ASSERT_EQ(digest.Rolling(U(bytes)[position], entering, length, shrink), RESULT_OK);
                ++position;
                ASSERT_EQ(ValueOf(digest), Reference(U(bytes) + position, length))
                    << "seed " << seed << " window " << window << " position " << position;
            }
        }
    }
}

// GetDigest finishes an accumulating object; a finished one refuses work and keeps its value,
// until ResetForRolling continues from it, or Reset starts from zero.
TEST(Rcheck32Digest, FinishedObjectsRefuseWorkAndKeepTheirValue)
{
    Rcheck32Digest digest;
    digest.Start(U("abc"), 3);
    EXPECT_EQ(ValueOf(digest), 0x024A0126u);
    EXPECT_EQ(digest.Finish(), RESULT_FAILED);
    EXPECT_EQ(digest.Start(U("xyz"), 3), RESULT_FAILED);
    EXPECT_EQ(digest.Rolling('a', 'd', 3, false), RESULT_FAILED);
    EXPECT_EQ(ValueOf(digest), 0x024A0126u);
    digest.ResetForRolling();
    EXPECT_EQ(digest.Rolling('a', 'd', 3, false), RESULT_OK);
    EXPECT_EQ(digest.Finish(), RESULT_OK);
    EXPECT_EQ(ValueOf(digest), 0x02500129u);
    digest.Reset();
    EXPECT_EQ(ValueOf(digest), 0u);
}

// Equality looks only at the left object's flag (an unfinished one equals nothing, and the
// right side reads as its value); "less" compares the low bytes first and answers "greater".
TEST(Rcheck32Digest, ComparisonsLookOnlyAtTheLeftObjectsFlag)
{
    const Rcheck32Digest unfinished;
    EXPECT_FALSE(unfinished == Rcheck32Digest());
    EXPECT_FALSE(unfinished != Rcheck32Digest());
    const Rcheck32Digest five(5u);
    EXPECT_TRUE(five == Rcheck32Digest(5u));
    EXPECT_FALSE(five != Rcheck32Digest(5u));
    EXPECT_TRUE(five != Rcheck32Digest(6u));
    EXPECT_TRUE(Rcheck32Digest(0u) == unfinished);
    Rcheck32Digest copy(five);
    EXPECT_TRUE(copy == five);
    Rcheck32Digest assigned;
    assigned = Rcheck32Digest(6u);
    EXPECT_TRUE(assigned == Rcheck32Digest(6u));

    const Rcheck32Digest one(0x00000001u);
    const Rcheck32Digest twoFiftySix(0x00000100u);
    EXPECT_TRUE(one < twoFiftySix);
    EXPECT_FALSE(twoFiftySix < one);
    EXPECT_FALSE(one < one);
    EXPECT_TRUE(Rcheck32Digest(0x01000002u) < Rcheck32Digest(0xFF000001u));
    EXPECT_TRUE(one < unfinished);
}

// Each kind's digest, its standard values (a message whose padding spills into a second
// block, a million a's), and the hashing layer's functions beneath it.
struct Md5Kind {
    using Digest = MD5Digest;
    using Value = _md5_hash;
    using Context = md5_context;
    static constexpr const char* kZero = "00000000000000000000000000000000";
    static constexpr const char* kAbc = "900150983cd24fb0d6963f7d28e17f72";
    static constexpr const char* kEmpty = "d41d8cd98f00b204e9800998ecf8427e";
    static constexpr const char* kLong[] = {
        "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
        "57edf4a22be3c955ac49da2e2107b67a"};
    static constexpr const char* kMillionA = "7707d6ae4e027c70eea2a935c2296f21";
    static constexpr auto Init = md5_init;
    static constexpr auto Append = md5_append;
    static constexpr auto Finish = md5_finish;
    static constexpr auto Copy = md5_copyContext;
    static constexpr auto Destroy = md5_destroy;
};

struct Sha1Kind {
    using Digest = SHA1Digest;
    using Value = _sha1_hash;
    using Context = sha1_context;
    static constexpr const char* kZero = "0000000000000000000000000000000000000000";
    static constexpr const char* kAbc = "a9993e364706816aba3e25717850c26c9cd0d89d";
    static constexpr const char* kEmpty = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
    static constexpr const char* kLong[] = {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                                            "84983e441c3bd26ebaae4aa1f95129e5e54670f1"};
    static constexpr const char* kMillionA = "34aa973cd4c4daa4f61eeb2bdbad27316534016f";
    static constexpr auto Init = sha1_init;
    static constexpr auto Append = sha1_append;
    static constexpr auto Finish = sha1_finish;
    static constexpr auto Copy = sha1_copyContext;
    static constexpr auto Destroy = sha1_destroy;
};

const unsigned char* Bytes(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

template <typename Kind>
class HashDigestTest : public ::testing::Test {
protected:
    using Digest = typename Kind::Digest;
    using Value = typename Kind::Value;

    static int Append(Digest& digest, const std::string& text)
    {
        return digest.Append(Bytes(text), static_cast<std::uint32_t>(text.size()));
    }
    // The value of `data` fed in pieces of the given sizes, then whatever is left in one piece;
    // empty pieces go in without data, which length 0 must not look at.
    static std::string InPieces(const std::string& data, const std::vector<std::size_t>& sizes)
    {
        Digest digest;
        std::size_t at = 0;
        for (std::size_t size : sizes) {
            const std::size_t piece = std::min(size, data.size() - at);
            EXPECT_EQ(RESULT_OK, digest.Append(piece == 0 ? nullptr : Bytes(data) + at,
                                               static_cast<std::uint32_t>(piece)));
            at += piece;
        }
        EXPECT_EQ(RESULT_OK, Append(digest, data.substr(at)));
        EXPECT_EQ(RESULT_OK, digest.Finish());
        return Read(digest);
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

// The standard values, and a million a's in random pieces; pieces around the block size, empty
// ones among them, give the value of the whole.
TYPED_TEST(HashDigestTest, KnownAnswersWholeAndInPieces)
{
    EXPECT_EQ(TypeParam::kLong[1], TestFixture::InPieces(TypeParam::kLong[0], {}));
    std::mt19937 random(7);
    std::vector<std::size_t> pieces(300); // about 1.35 million bytes, of which the last are not reached
    for (std::size_t& piece : pieces)
        piece = random() % 9001;
    EXPECT_EQ(TypeParam::kMillionA, TestFixture::InPieces(std::string(1000000, 'a'), pieces));

    const std::string data = PatternBytes(5000);
    const std::vector<std::vector<std::size_t>> schedules = {
        {0, 1, 63, 64, 65, 0, 127, 128, 129, 55, 56, 57, 119, 120, 121},
        {64, 64, 64, 64},
        std::vector<std::size_t>(28, 1),
        {4999},
        {0, 0, 0}};
    for (const auto& sizes : schedules)
        EXPECT_EQ(TestFixture::InPieces(data, {}), TestFixture::InPieces(data, sizes))
            << ::testing::PrintToString(sizes);
}

// The hashing layer refuses null handles and contexts, which a digest whose context could not
// be made hands it, and null data of some length.
TYPED_TEST(HashDigestTest, TheLayerRefusesNullHandlesAndContexts)
{
    typename TypeParam::Value value{};
    typename TypeParam::Context* context = nullptr;
    EXPECT_EQ(HASH_FAILED, TypeParam::Init(nullptr));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(nullptr, Bytes("abc"), 3));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(nullptr, nullptr, 0));
    EXPECT_EQ(HASH_FAILED, TypeParam::Finish(nullptr, &value));
    EXPECT_EQ(0, TypeParam::Destroy(nullptr));
    EXPECT_EQ(HASH_FAILED, TypeParam::Copy(nullptr, &context));
    EXPECT_EQ(nullptr, context);

    ASSERT_EQ(0, TypeParam::Init(&context));
    EXPECT_EQ(HASH_FAILED, TypeParam::Copy(context, nullptr));
    EXPECT_EQ(HASH_FAILED, TypeParam::Append(context, nullptr, 5));
    EXPECT_EQ(HASH_FAILED, TypeParam::Finish(context, nullptr));
    EXPECT_EQ(0, TypeParam::Destroy(context));
}

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
    using Digest = typename TestFixture::Digest;
    const Digest open, zeros = TestFixture::Holding(0), abc = TestFixture::Finished("abc"),
                       abc2 = TestFixture::Finished("abc"), abd = TestFixture::Finished("abd");
    // Left, right, whether == holds, whether != holds.
    const std::tuple<const Digest*, const Digest*, bool, bool> equalities[] = {
        {&open, &open, false, false}, {&open, &zeros, false, false}, {&open, &abc, false, false},
        {&abc, &abc2, true, false},   {&abc, &abd, false, true},     {&zeros, &open, true, false},
        {&abc, &open, false, true}};
    for (const auto& [left, right, equal, unequal] : equalities) {
        EXPECT_EQ(*left == *right, equal) << TestFixture::Read(*left) << " == " << TestFixture::Read(*right);
        EXPECT_EQ(*left != *right, unequal)
            << TestFixture::Read(*left) << " != " << TestFixture::Read(*right);
    }
    // Whether `less` < `more`, in the first bytes and the rest of the values.
    const std::tuple<int, int, int, int, bool> orders[] = {
        {2, 0, 1, 0, true},       {1, 0, 2, 0, false},       {1, 0, 1, 0, false},
        {0x80, 0, 0x7f, 0, true}, {0x7f, 0, 0x80, 0, false}, {2, 0, 1, 0xff, true}};
    for (const auto& [first, rest, otherFirst, otherRest, less] : orders)
        EXPECT_EQ(TestFixture::Holding(first, rest) < TestFixture::Holding(otherFirst, otherRest), less)
            << first << " " << rest << " against " << otherFirst << " " << otherRest;
    EXPECT_TRUE(TestFixture::Holding(1) < open);
    EXPECT_FALSE(open < TestFixture::Holding(1));

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

// Empty and multi-chunk files give the finished SHA-1 (== only holds for a finished left side),
// read in chunks of 4096 and closed. A missing or unreadable file fails without a line and
// leaves the caller's digest.
TEST(DigestCalculate, FilesGiveTheirFinishedSha1AndFailuresLeaveTheDigest)
{
    TempDir dir;
    const std::string bytes = PatternBytes(4097);
    dir.Put(L"empty", "");
    dir.Put(L"4097", bytes);
    Halvorn::Vantrel::SHA1Digest digest;
    ASSERT_EQ(digest_calculate(dir.Path(L"empty"), digest), RESULT_OK);
    EXPECT_TRUE(digest == FinishedSha1(""));
    LogCapture capture;
    for (int failingRead : {0, 2}) {
        FaultyRuntime runtime;
        if (failingRead != 0)
            runtime.FailCall(RuntimeCall::Read, EIO, failingRead);
        EXPECT_EQ(digest_calculate(dir.Path(L"4097"), digest), failingRead ? RESULT_FAILED : RESULT_OK);
        EXPECT_TRUE(digest == FinishedSha1(bytes));
        EXPECT_EQ(runtime.Calls(RuntimeCall::Read), failingRead ? 2 : 3); // 4096, 1, then the end
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    }
    EXPECT_EQ(digest_calculate(dir.Path(L"missing"), digest), RESULT_FAILED);
    EXPECT_TRUE(digest == FinishedSha1(bytes));
    EXPECT_TRUE(capture.Lines().empty());
}

// Inputs on both sides of the bytes hashed in line, in pieces of odd sizes that pass through
// two buffers, each overwritten as soon as Settle allows: the digest must end as appending the
// same pieces in line leaves it, whether read after Settle() or after the destructor.
TEST(Sha1Beside, EndsAsTheSameAppendsInLine)
{
    const std::string bytes = PatternBytes(3u << 20, 9);
    const auto inlineBytes = static_cast<std::uint32_t>(Sha1Beside::kInlineBytes);
    for (std::uint32_t size : {0u, 4099u, inlineBytes, inlineBytes + 1, 3u << 20}) {
        for (std::uint32_t piece : {4099u, 65536u, (1u << 20) + 3}) {
            SCOPED_TRACE(::testing::Message() << size << " bytes in pieces of " << piece);
            const bool settled = piece == 65536u;
            SHA1Digest digest;
            {
                std::vector<unsigned char> buffers[2] = {std::vector<unsigned char>(piece),
                                                         std::vector<unsigned char>(piece)};
                Sha1Beside sha1(digest);
                for (std::uint32_t at = 0, turn = 0; at < size; at += piece, turn ^= 1) {
                    sha1.Settle(1);
                    const std::uint32_t length = std::min(piece, size - at);
                    std::memcpy(buffers[turn].data(), bytes.data() + at, length);
                    sha1.Append(buffers[turn].data(), length);
                }
                if (settled) {
                    sha1.Settle();
                    digest.Finish();
                }
            }
            if (!settled)
                digest.Finish();
            EXPECT_TRUE(digest == FinishedSha1(bytes.substr(0, size)));
        }
    }
}

} // namespace
