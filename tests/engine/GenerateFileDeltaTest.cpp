#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>

#include "support/DeltaProperties.h"
#include "support/DeltaReplay.h"
#include "support/TempDir.h"
#include "support/Sha1Of.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::DeltaProperties;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::Literal;
using KorrinTest::PropertiesOf;
using KorrinTest::Sha1Of;
using KorrinTest::TempDir;
using Instructions = std::vector<Instruction>;

class GenerateFileDeltaTest : public ::testing::Test {
protected:
    // Signs `old` with window `window` (version 1), then makes the delta of `now` against it.
    Instructions DeltaOf(const std::string& old, const std::string& now, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", old);
        dir.WriteFile(L"new.bin", now);
        signature = MemoryDigestIO();
        FileDigest digest(&signature);
        digest.SetVersion(1);
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
        delta = MemoryDeltaIO();
        FileDelta out(&delta);
        EXPECT_EQ(engine.GenerateFileDelta(dir.Path(L"new.bin"), digest, out), RESULT_OK);
        return InstructionsOf(delta);
    }

    TempDir dir;
    Korrin engine;
    MemoryDigestIO signature;
    MemoryDeltaIO delta;
};

TEST_F(GenerateFileDeltaTest, WorkedExample)
{
    const std::string old = "abcdefghij";
    EXPECT_EQ(DeltaOf(old, "abcdefghij", 4), (Instructions{Copy(0), Copy(1), Copy(2)}));
    EXPECT_EQ(DeltaOf(old, "Xabcdefghij", 4), (Instructions{Literal("X"), Copy(0), Copy(1), Copy(2)}));
    EXPECT_EQ(DeltaOf(old, "abcdXefghij", 4), (Instructions{Copy(0), Literal("X"), Copy(1), Copy(2)}));
    EXPECT_EQ(DeltaOf(old, "zzzzzzzzzz", 4), (Instructions{Literal("zzzz"), Literal("zzzz"), Literal("zz")}));
    EXPECT_EQ(DeltaOf(old, "abcdabcd", 4), (Instructions{Copy(0), Copy(0)}));
    EXPECT_EQ(DeltaOf(old, "ij", 4), (Instructions{Copy(2)}));
    // The short block matches only at the very end, never in mid-file; there also once the
    // window has shrunk by rolling.
    EXPECT_EQ(DeltaOf(old, "efghijabcd", 4), (Instructions{Copy(1), Literal("ij"), Copy(0)}));
    EXPECT_EQ(DeltaOf(old, "Xij", 4), (Instructions{Literal("X"), Copy(2)}));
}

// Version and window come from the signature; size, time and SHA-1 are the new file's (its
// time as signing it records it).
TEST_F(GenerateFileDeltaTest, PropertiesComeFromTheSignatureAndTheNewFile)
{
    const std::string now = "0123456789abcdefXYZ";
    DeltaOf("0123456789abcdef", now, 8);
    MemoryDigestIO ofNew;
    FileDigest digest(&ofNew);
    ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"new.bin"), digest), RESULT_OK);
    std::int64_t time = 0;
    ofNew.ReadFileModifiedTime(time);
    EXPECT_EQ(PropertiesOf(delta), (DeltaProperties{1, 8, now.size(), time, Sha1Of(now)}));
}

TEST_F(GenerateFileDeltaTest, EdgeFiles)
{
    // Identical with a short last block: found by the shrinking window.
    EXPECT_EQ(DeltaOf("0123456789", "0123456789", 3), (Instructions{Copy(0), Copy(1), Copy(2), Copy(3)}));
    // An empty new file: nothing to say but its SHA-1.
    EXPECT_TRUE(DeltaOf("0123456789", "", 4).empty());
    EXPECT_EQ(PropertiesOf(delta).sha1, Sha1Of(""));
    // An empty old file: the new file travels whole, and the window is still the signature's.
    EXPECT_EQ(DeltaOf("", "0123456789", 4), (Instructions{Literal("0123456789")}));
    EXPECT_EQ(PropertiesOf(delta).window, 4u);
    // Shorter than the window and equal to the whole old file.
    EXPECT_EQ(DeltaOf("abc", "abc", 4), (Instructions{Copy(0)}));
    // Runs of exactly W between matches; longer stretches leave in runs of W.
    EXPECT_EQ(
        DeltaOf("abcd", "WXYZabcdQRSTUVWXYabcd", 4),
        (Instructions{Literal("WXYZ"), Copy(0), Literal("QRST"), Literal("UVWX"), Literal("Y"), Copy(0)}));
    // A block that occurs twice in the old file is named by its first index.
    EXPECT_EQ(DeltaOf("abcdXXXXabcd", "abcd", 4), (Instructions{Copy(0)}));
}

// Two different blocks with equal rolling checksums: swapping a rising pair of neighbours
// keeps the plain sum and raises the weighted one by one; swapping a falling pair lowers it
// by one again.
TEST_F(GenerateFileDeltaTest, AChecksumHitWithAnotherMd5IsAMiss)
{
    const std::string block = "abcdefhg";
    std::string twin = block;
    std::swap(twin[0], twin[1]);
    std::swap(twin[6], twin[7]);
    auto checksumOf = [](const std::string& bytes) {
        Rcheck32Digest digest;
        digest.Start(reinterpret_cast<const unsigned char*>(bytes.data()), 8);
        std::uint32_t value = 0;
        digest.GetDigest(value);
        return value;
    };
    ASSERT_NE(block, twin);
    ASSERT_EQ(checksumOf(block), checksumOf(twin));

    EXPECT_EQ(DeltaOf(block, twin + block, 8), (Instructions{Literal(twin), Copy(0)}));
}

// The copies are those of the plain search, position after position, for the first block
// with the window's bytes: over old blocks planted in random bytes near and far apart, some
// with a byte changed, so that the fast pass over unmatched positions meets blocks all along
// its chunks and at their edges; over bytes of every value, and of two (many checksums in
// common, blocks that repeat, a filter that rules out little).
TEST_F(GenerateFileDeltaTest, CopiesAreThoseOfThePlainSearch)
{
    std::mt19937 random(23);
    for (const unsigned alphabet : {256u, 2u}) {
        for (const std::size_t window : {5u, 64u, 700u, 2048u}) {
            auto junk = [&](std::size_t n, std::string& to) {
                while (n-- > 0)
                    to += static_cast<char>(random() % alphabet);
            };
            std::string old;
            junk(window * 40 + window / 3, old);
            std::string now;
            while (now.size() < 200000) {
                junk(random() % 2 ? random() % 8 : random() % 1500, now);
                std::string block = old.substr(window * (random() % 41), window);
                if (random() % 4 == 0)
                    block[random() % block.size()] ^= 1;
                now += block;
            }
            using Copies = std::vector<std::pair<std::size_t, long long>>; // position, block
            Copies expected;
            for (std::size_t at = 0; at < now.size();) {
                const std::size_t length = std::min(window, now.size() - at);
                long long found = -1;
                for (std::size_t b = 0; b * window < old.size() && found < 0; ++b)
                    if (std::min(window, old.size() - b * window) == length &&
                        old.compare(b * window, length, now, at, length) == 0)
                        found = static_cast<long long>(b);
                if (found >= 0)
                    expected.emplace_back(at, found);
                at += found >= 0 ? length : 1;
            }
            Copies copies;
            std::size_t at = 0;
            for (const Instruction& instruction : DeltaOf(old, now, static_cast<std::uint32_t>(window))) {
                if (instruction.block >= 0)
                    copies.emplace_back(at, instruction.block);
                const auto block = static_cast<std::size_t>(instruction.block);
                at += instruction.block >= 0 ? std::min(window, old.size() - window * block) : instruction.bytes.size();
            }
            EXPECT_EQ(at, now.size());
            EXPECT_TRUE(copies == expected) << "alphabet " << alphabet << " window " << window << ": "
                                            << copies.size() << " copies, " << expected.size() << " expected";
        }
    }
}

} // namespace
