#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Rcheck32Digest.h>

#include "support/TestData.h"

namespace {

using Halvorn::Vantrel::Rcheck32Digest;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;

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

std::uint32_t StartValue(const std::string& text)
{
    Rcheck32Digest digest;
    EXPECT_EQ(digest.Start(U(text), static_cast<std::uint32_t>(text.size())), RESULT_OK);
    return ValueOf(digest);
}

// Worked values, bytes taken unsigned (0xFF counts 255), the low half wrapping (65536 bytes
// of 1 give A = 0 and B = 65536 * 65537 / 2 mod 65536). The sums over long blocks against the
// definition are in ../platform/VectorVariantsTest.cpp.
TEST(Rcheck32Digest, StartGivesTheDefinitionsValue)
{
    EXPECT_EQ(StartValue("abc"), 0x024A0126u);
    EXPECT_EQ(StartValue("bcd"), 0x02500129u);
    EXPECT_EQ(StartValue("bc"), 0x012700C5u);
    EXPECT_EQ(StartValue(""), 0u);
    EXPECT_EQ(StartValue(std::string(1, '\xFF')), 0x00FF00FFu);
    EXPECT_EQ(StartValue(std::string(65536, '\x01')), 0x80000000u);
}

// The delta generator's use: one object along a whole buffer, rolled at every position and
// then shrunk at the end, must agree with the definition everywhere.
TEST(Rcheck32Digest, RollingEqualsStartAtEveryPositionDownToLengthZero)
{
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const std::string bytes = KorrinTest::PatternBytes(3000 + seed * 17, seed);
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

} // namespace
