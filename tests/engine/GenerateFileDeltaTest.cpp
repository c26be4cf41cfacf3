#include <string>
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

#include "support/Deltas.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"

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

} // namespace
