// The road end to end, through blobs both ways and through files both ways: many random
// pairs, both ways of applying, and files of several MiB shaped like real ones. The
// instructions that arrive are also replayed by the test itself, so that a fault in delta
// generation shows apart from rebuilding; the delta streamed to a file must be the blob. The
// files are named outside ASCII (and outside any code page) as only the system's wide calls
// can spell them: the test makes and reads them through the standard library. Then damaged
// deltas, which must never damage the target.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/DeltaFileWriter.h>
#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ReadDigestFile.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/LogCapture.h"
#include "support/Road.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kOld = L"donn\u00e9es-\u65e5\u672c.bin";
const std::wstring kNew = L"\u65b0-\U0001F600.bin";
const std::wstring kRebuilt = L"\u00e9t\u00e9 \u6587\u4ef6.bin";

class RoadTest : public ::testing::Test {
protected:
    // Sends `now` over to a holder of `old` through blobs, and through a signature file and a
    // streamed delta file; applies it to a new file and in place (a store can be read any
    // number of times). Every result must be `now` byte for byte. Files are compared whole, not
    // with ASSERT_EQ, whose line diff of MiB-sized texts would be unreadable and take gigabytes.
    void ExpectRoad(const std::string& old, const std::string& now, std::uint32_t window)
    {
        SCOPED_TRACE(window);
        dir.WriteFile(kOld, old);
        dir.WriteFile(kNew, now);
        const std::vector<unsigned char> blob = DeltaBlobThroughBlobs(dir.Path(kOld), dir.Path(kNew), window);
        MemoryDeltaIO received;
        ASSERT_EQ(received.ReadFromBlob(blob.data(), static_cast<std::uint32_t>(blob.size())), RESULT_OK);
        // Literal runs of at most one window; a delta against an empty file sends the file whole.
        const Instructions instructions = InstructionsOf(received);
        ASSERT_TRUE(Replay(instructions, old, window) == now);
        for (const Instruction& instruction : instructions)
            ASSERT_LE(instruction.bytes.size(), old.empty() ? 65535u : window);
        FileDelta delta(&received);
        Korrin engine;
        ASSERT_EQ(engine.ApplyFileDelta(dir.Path(kOld), delta, dir.Path(kRebuilt)), RESULT_OK);
        ASSERT_TRUE(dir.ReadFile(kRebuilt) == now);
        ASSERT_EQ(engine.ApplyFileDelta(dir.Path(kOld), delta), RESULT_OK);
        ASSERT_TRUE(dir.ReadFile(kOld) == now);
        EXPECT_FALSE(dir.Exists(kOld + L".dfttemp"));

        dir.WriteFile(kOld, old);
        engine.SetWindowSize(window);
        MemoryDigestIO signature;
        FileDigest digest(&signature);
        digest.SetVersion(1);
        ASSERT_EQ(engine.GenerateFileDigest(dir.Path(kOld), digest), RESULT_OK);
        dir.WriteFile(L"\u7f72\u540d.sig", BlobText(signature));
        MemoryDigestIO read;
        ASSERT_EQ(ReadDigestFile(dir.Path(L"\u7f72\u540d.sig"), read), RESULT_OK);
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"\u5dee\u5206.delta")), RESULT_OK);
        FileDigest theirs(&read);
        FileDelta written(&writer);
        ASSERT_EQ(engine.GenerateFileDelta(dir.Path(kNew), theirs, written), RESULT_OK);
        ASSERT_TRUE(dir.ReadFile(L"\u5dee\u5206.delta") == std::string(blob.begin(), blob.end()));
        DeltaFileReader reader;
        ASSERT_EQ(reader.Open(dir.Path(L"\u5dee\u5206.delta")), RESULT_OK);
        ASSERT_EQ(engine.ApplyFileDelta(dir.Path(kOld), FileDelta(&reader), dir.Path(L"streamed.bin")),
                  RESULT_OK);
        ASSERT_TRUE(dir.ReadFile(L"streamed.bin") == now);
        // Runs of copies taken at once still count one by one.
        EXPECT_EQ(reader.Tally().copies, received.GetDigestDeltaCount());
        EXPECT_EQ(reader.Tally().bytes, blob.size());
    }

    TempDir dir;
};

TEST_F(RoadTest, RandomPairsArriveByteForByte)
{
    std::mt19937 random(77);
    auto bytes = [&](std::size_t n, unsigned alphabet) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(random() % alphabet);
        return s;
    };
    for (int round = 0; round < 40; ++round) {
        const unsigned alphabet = round % 2 ? 256 : 3; // few letters make many chance matches
        const std::string old = bytes(random() % 20000, alphabet);
        std::string now = old;
        for (int e = static_cast<int>(random() % 10); e > 0; --e) {
            const std::size_t at = now.empty() ? 0 : random() % now.size();
            const unsigned kind = random() % 3;
            if (kind == 0)
                now.insert(at, bytes(1 + random() % 500, alphabet));
            else if (kind == 1)
                now.erase(at, 1 + random() % 500);
            else if (!now.empty())
                now[at] = static_cast<char>(random() % alphabet);
        }
        if (round % 7 == 0)
            now = old.substr(old.size() / 3) + old.substr(0, old.size() / 3); // blocks moved around
        for (std::uint32_t window : {1u, 7u, 64u, 700u, 4096u, 30000u})
            ExpectRoad(old, now, window);
    }
}

TEST_F(RoadTest, EdgePairs)
{
    for (const auto& pair : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"", "from nothing"}, {"to nothing", ""}, {"same", "same"}})
        ExpectRoad(pair.first, pair.second, 16);
    ExpectRoad(std::string(100000, 'a'), std::string(100001, 'a'), 64);
}

// Several MiB shaped like what users keep in step: a text with scattered line edits, and a
// binary whose records shift when one of them grows.
TEST_F(RoadTest, LargeFilesLikeRealOnes)
{
    std::mt19937 random(4);
    static const char* const words[] = {"delta", "block", "window", "checksum", "signature", "file",
                                        "copy",  "bytes", "old",    "new",      "literal",   "road"};
    std::string text;
    while (text.size() < (5u << 20)) {
        for (unsigned w = 0, n = 3 + random() % 12; w < n; ++w)
            text += std::string(words[random() % 12]) + (w + 1 < n ? " " : "\n");
    }
    std::string edited;
    std::size_t line = 0;
    for (std::size_t start = 0; start < text.size(); ++line) {
        const std::size_t end = text.find('\n', start) + 1;
        if (line % 97 == 5)
            edited += "an inserted line\n";
        if (line % 211 != 7) // some lines go
            edited += text.substr(start, end - start);
        start = end;
    }
    ExpectRoad(text, edited, 2048);

    std::string binary;
    for (std::uint32_t record = 0; binary.size() < (4u << 20); ++record) {
        binary.append(reinterpret_cast<const char*>(&record), sizeof record);
        binary.append(60 + record % 40, static_cast<char>(record * 7));
    }
    std::string grown = binary;
    grown.insert(grown.size() / 2, 333, '\x5a');
    grown[100] ^= 1;
    ExpectRoad(binary, grown, 2048);
    ExpectRoad(binary, grown, 700);
}

// Damaged deltas on the road: whatever one reads back as, applying it in place either makes
// exactly the intended file or fails and leaves the target as it was, with nothing left beside it.
constexpr std::uint32_t kWindow = 64;
constexpr int kUnreadable = 1; // no result code of the library

class CorruptDeltaTest : public ::testing::Test {
protected:
    CorruptDeltaTest()
        : old(PatternBytes(3000, 11)), now(old.substr(0, 700) + "insert" + old.substr(700, 900) +
                                           old.substr(1700, 1000) + PatternBytes(150, 12) + old.substr(2760)),
          blob(MakeDeltaBlob(dir, old, now, kWindow))
    {
    }

    // Applies `bytes` in place to a target holding the old file: kUnreadable when they do not
    // read back as a delta, else the result, after checking what is on disk.
    int ApplyInPlace(const std::string& bytes)
    {
        MemoryDeltaIO store;
        if (LoadDelta(store, bytes) != RESULT_OK)
            return kUnreadable;
        dir.WriteFile(L"target.bin", old);
        FileDelta delta(&store);
        const int result = engine.ApplyFileDelta(dir.Path(L"target.bin"), delta);
        EXPECT_EQ(dir.ReadFile(L"target.bin"), result == RESULT_OK ? now : old);
        EXPECT_EQ(dir.Entries(), 1u);
        return result;
    }

    TempDir dir;
    const std::string old;
    const std::string now;
    const std::string blob;
    Korrin engine;
    LogCapture quiet; // every failure here is reported, and expected
};

// A flipped byte anywhere: in a tag or a literal's length the blob may no longer read back;
// in the version, window, a block index or a literal's bytes the rebuild must fail.
TEST_F(CorruptDeltaTest, AFlippedByteNeverDamagesTheTarget)
{
    ASSERT_EQ(ApplyInPlace(blob), RESULT_OK);
    std::size_t failed = 0;
    for (std::size_t position = 0; position < blob.size(); ++position) {
        SCOPED_TRACE(position);
        std::string flipped = blob;
        flipped[position] = static_cast<char>(flipped[position] ^ 0x5A);
        failed += ApplyInPlace(flipped) != RESULT_OK;
    }
    EXPECT_GT(failed, blob.size() / 2);
}

TEST_F(CorruptDeltaTest, EveryTruncationFailsWithoutDamagingTheTarget)
{
    std::size_t readBack = 0;
    for (std::size_t length = 0; length < blob.size(); ++length) {
        SCOPED_TRACE(length);
        const int result = ApplyInPlace(blob.substr(0, length));
        if (result == kUnreadable)
            continue;
        ++readBack;
        // The SHA-1 record comes last: without it the expected value is zeros.
        EXPECT_NE(result, RESULT_OK);
    }
    MemoryDeltaIO store;
    ASSERT_EQ(LoadDelta(store, blob), RESULT_OK);
    EXPECT_GT(readBack, store.GetDeltaCount());
}

} // namespace
