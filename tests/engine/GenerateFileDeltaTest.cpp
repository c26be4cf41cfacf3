#include <random>
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

#include "support/DeltaReplay.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/Sha1Of.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::IsErrorLine;
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::Replay;
using KorrinTest::Sha1Of;
using KorrinTest::TempDir;
using Instructions = std::vector<Instruction>;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateFileDelta";

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
        Korrin engine;
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
        delta = MemoryDeltaIO();
        FileDelta out(&delta);
        EXPECT_EQ(engine.GenerateFileDelta(dir.Path(L"new.bin"), digest, out), RESULT_OK);
        return InstructionsOf(delta);
    }

    TempDir dir;
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
    // The short block matches only at the very end, never in mid-file.
    EXPECT_EQ(DeltaOf(old, "efghijabcd", 4), (Instructions{Copy(1), Literal("ij"), Copy(0)}));
}

TEST_F(GenerateFileDeltaTest, PropertiesComeFromTheSignatureAndTheNewFile)
{
    const std::string now = "0123456789abcdefXYZ";
    DeltaOf("0123456789abcdef", now, 8);
    std::uint32_t version = 0, window = 0;
    std::uint64_t size = 0;
    _sha1_hash sha1{};
    delta.ReadVersion(version);
    delta.ReadWindowSize(window);
    delta.ReadFileSize(size);
    delta.ReadFileDigest(sha1);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(window, 8u);
    EXPECT_EQ(size, now.size());
    EXPECT_EQ(sha1, Sha1Of(now));
}

TEST_F(GenerateFileDeltaTest, EdgeFiles)
{
    // Identical with a short last block: found by the shrinking window.
    EXPECT_EQ(DeltaOf("0123456789", "0123456789", 3), (Instructions{Copy(0), Copy(1), Copy(2), Copy(3)}));
    // An empty new file: nothing to say but its SHA-1.
    EXPECT_TRUE(DeltaOf("0123456789", "", 4).empty());
    _sha1_hash sha1{};
    delta.ReadFileDigest(sha1);
    EXPECT_EQ(sha1, Sha1Of(""));
    // Shorter than the window and equal to the whole old file.
    EXPECT_EQ(DeltaOf("abc", "abc", 4), (Instructions{Copy(0)}));
    // Runs of exactly W between matches; longer stretches leave in runs of W.
    EXPECT_EQ(
        DeltaOf("abcd", "WXYZabcdQRSTUVWXYabcd", 4),
        (Instructions{Literal("WXYZ"), Copy(0), Literal("QRST"), Literal("UVWX"), Literal("Y"), Copy(0)}));
    // A block that occurs twice in the old file is named by its first index.
    EXPECT_EQ(DeltaOf("abcdXXXXabcd", "abcd", 4), (Instructions{Copy(0)}));
}

TEST_F(GenerateFileDeltaTest, AnEmptyOldFileSendsTheWholeNewFile)
{
    std::string now(70000, 'n');
    now[69999] = 'e';
    EXPECT_EQ(DeltaOf("", now, 1024),
              (Instructions{Literal(now.substr(0, 65535)), Literal(now.substr(65535))}));
    std::uint32_t window = 0;
    delta.ReadWindowSize(window);
    EXPECT_EQ(window, 1024u);
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

TEST_F(GenerateFileDeltaTest, RandomEditsReplayToTheNewFile)
{
    std::mt19937 random(2026);
    auto bytes = [&](std::size_t n) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>('a' + random() % 4); // a small alphabet makes chance matches
        return s;
    };
    for (int round = 0; round < 60; ++round) {
        const std::string old = bytes(random() % 5000);
        std::string now = old;
        const int edits = static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = now.empty() ? 0 : random() % now.size();
            switch (random() % 3) {
            case 0:
                now.insert(at, bytes(1 + random() % 300));
                break;
            case 1:
                now.erase(at, 1 + random() % 300);
                break;
            default:
                if (!now.empty())
                    now[at] = static_cast<char>(random());
            }
        }
        for (std::uint32_t window : {1u, 7u, 64u, 700u}) {
            const Instructions instructions = DeltaOf(old, now, window);
            ASSERT_EQ(Replay(instructions, old, window), now) << "round " << round << " window " << window;
            for (const Instruction& instruction : instructions)
                ASSERT_LE(instruction.bytes.size(), old.empty() ? 65535u : window);
        }
    }
}

TEST_F(GenerateFileDeltaTest, AMissingNewFileIsReportedWithItsPath)
{
    dir.WriteFile(L"old.bin", "abc");
    MemoryDigestIO store;
    FileDigest digest(&store);
    Korrin engine;
    engine.SetWindowSize(2);
    ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
    MemoryDeltaIO out;
    FileDelta delta(&out);
    LogCapture capture;
    EXPECT_EQ(engine.GenerateFileDelta(dir.Path(L"missing.bin"), digest, delta), RESULT_FAILED);
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_TRUE(IsErrorLine(capture.Texts()[0],
                            L"Error 32768 \"" + dir.Path(L"missing.bin") + L"\" at func: " + kFunction));
    EXPECT_EQ(out.GetDeltaCount(), 0u);
}

} // namespace
