// The instructions delta generation chooses, where a round trip could not tell: matches
// greedy and leftmost, literal runs of at most a window, the short last block matched only at
// the very end, a block that occurs twice named by its first index, a checksum hit whose MD5
// differs taken for a miss. Round trips are in RoadTest.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

class GenerateFileDeltaTest : public ::testing::Test {
protected:
    // Signs `old` with window `window` (version 1), then makes the delta of `now` against it.
    Instructions DeltaOf(const std::string& old, const std::string& now, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", old);
        dir.WriteFile(L"new.bin", now);
        MemoryDigestIO signature;
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
    MemoryDeltaIO delta;
};

std::uint32_t ChecksumOf(const std::string& bytes)
{
    Rcheck32Digest digest;
    digest.Start(reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<std::uint32_t>(bytes.size()));
    std::uint32_t value = 0;
    digest.GetDigest(value);
    return value;
}

TEST_F(GenerateFileDeltaTest, WorkedExamplesAndEdgeFiles)
{
    // Swapping a rising pair of neighbours keeps the plain sum and raises the weighted one by
    // one; swapping a falling pair lowers it by one again: another block, the same checksum.
    const std::string block = "abcdefhg";
    const std::string twin = "bacdefgh";
    ASSERT_EQ(ChecksumOf(block), ChecksumOf(twin));
    const std::string old = "abcdefghij"; // blocks "abcd", "efgh", "ij"
    const struct {
        std::string old, now;
        std::uint32_t window;
        Instructions expected;
    } cases[] = {
        {old, "abcdefghij", 4, {Copy(0), Copy(1), Copy(2)}},
        {old, "Xabcdefghij", 4, {Literal("X"), Copy(0), Copy(1), Copy(2)}},
        {old, "abcdXefghij", 4, {Copy(0), Literal("X"), Copy(1), Copy(2)}},
        {old, "zzzzzzzzzz", 4, {Literal("zzzz"), Literal("zzzz"), Literal("zz")}},
        {old, "abcdabcd", 4, {Copy(0), Copy(0)}},
        {old, "ij", 4, {Copy(2)}},
        {old, "efghijabcd", 4, {Copy(1), Literal("ij"), Copy(0)}}, // the short block in mid-file is no match
        {old, "Xij", 4, {Literal("X"), Copy(2)}},                  // at the end, after the window shrank
        {"0123456789", "0123456789", 3, {Copy(0), Copy(1), Copy(2), Copy(3)}},
        {"0123456789", "", 4, {}},
        {"", "0123456789", 4, {Literal("0123456789")}}, // against an empty file the new one travels whole
        {"abc", "abc", 4, {Copy(0)}},                   // shorter than the window
        {"abcd",
         "WXYZabcdQRSTUVWXYabcd",
         4,
         {Literal("WXYZ"), Copy(0), Literal("QRST"), Literal("UVWX"), Literal("Y"), Copy(0)}},
        {"abcdXXXXabcd", "abcd", 4, {Copy(0)}},
        {block, twin + block, 8, {Literal(twin), Copy(0)}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeltaOf(c.old, c.now, c.window), c.expected) << c.old << " -> " << c.now;
}

// Version and window come from the signature, also when the old file is empty; size, time and
// SHA-1 are the new file's, its time as signing it records it.
TEST_F(GenerateFileDeltaTest, PropertiesComeFromTheSignatureAndTheNewFile)
{
    for (const std::string& old : {std::string("0123456789abcdef"), std::string()}) {
        for (const std::string& now : {std::string("0123456789abcdefXYZ"), std::string()}) {
            DeltaOf(old, now, 8);
            MemoryDigestIO ofNew;
            FileDigest digest(&ofNew);
            ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"new.bin"), digest), RESULT_OK);
            std::int64_t time = 0;
            ofNew.ReadFileModifiedTime(time);
            EXPECT_EQ(PropertiesOf(delta), (DeltaProperties{1, 8, now.size(), time, Sha1Of(now)}));
        }
    }
}

} // namespace
