// The road end to end, through blobs both ways and through files both ways: many random
// pairs, both ways of applying, and files of several MiB shaped like real ones. The
// instructions that arrive are also replayed by the test itself, so that a fault in delta
// generation shows apart from rebuilding; the delta streamed to a file must be the blob. The
// files are named outside ASCII (and outside any code page) as only the system's wide calls
// can spell them. Then damaged deltas, which must never damage the target.
#include <iterator>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/LogCapture.h"
#include "support/Stores.h"

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
        const std::string blob = DeltaBlobThroughBlobs(dir.Put(kOld, old), dir.Put(kNew, now), window);
        MemoryDeltaIO received;
        ASSERT_EQ(FromBlob(received, blob), RESULT_OK);
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

        engine.SetWindowSize(window);
        MemoryDigestIO signature, read;
        FileDigest digest(&signature), theirs(&read);
        digest.SetVersion(1);
        ASSERT_EQ(engine.GenerateFileDigest(dir.Put(kOld, old), digest), RESULT_OK);
        ASSERT_EQ(ReadDigestFile(dir.Put(L"\u7f72\u540d.sig", BlobOf(signature)), read), RESULT_OK);
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"\u5dee\u5206.delta")), RESULT_OK);
        FileDelta written(&writer);
        ASSERT_EQ(engine.GenerateFileDelta(dir.Path(kNew), theirs, written), RESULT_OK);
        ASSERT_TRUE(dir.ReadFile(L"\u5dee\u5206.delta") == blob);
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

// Random pairs, after edge pairs: empty files, equal ones, and a long run of one byte.
TEST_F(RoadTest, RandomPairsArriveByteForByte)
{
    const std::string run(90000, 'a');
    const std::pair<std::string, std::string> edges[] = {
        {"", ""}, {"", "from nothing"}, {"to nothing", ""}, {"same", "same"}, {run, run + "a"}};
    std::mt19937 random(77);
    auto bytes = [&](std::size_t n, unsigned alphabet) {
        std::string s(n, '\0');
        for (auto& c : s)
            c = static_cast<char>(random() % alphabet);
        return s;
    };
    for (std::size_t round = 0; round < 45; ++round) {
        const unsigned alphabet = round % 2 ? 256 : 3; // few letters make many chance matches
        std::string old = bytes(random() % 20000, alphabet);
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
        if (round < std::size(edges))
            std::tie(old, now) = edges[round];
        for (std::uint32_t window : {1u, 7u, 64u, 700u, 4096u, 30000u})
            ExpectRoad(old, now, window);
    }
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
// exactly the intended file or fails and leaves the target as it was, with nothing left beside
// it. A byte flipped in a tag or a literal's length may keep the blob from reading back; in the
// version, window, a block index or a literal's bytes the rebuild must fail. A blob cut short
// lacks at least the SHA-1 record, which comes last: the value expected is then zeros.
TEST(CorruptDeltaTest, FlippedBytesAndTruncationsNeverDamageTheTarget)
{
    TempDir dir;
    const std::string old = PatternBytes(3000, 11);
    const std::string now = old.substr(0, 700) + "insert" + old.substr(700, 900) + old.substr(1700, 1000) +
                            PatternBytes(150, 12) + old.substr(2760);
    const std::string blob = MakeDeltaBlob(dir, old, now, 64);
    LogCapture quiet;              // every failure here is reported, and expected
    constexpr int kUnreadable = 1; // no result code of the library
    // kUnreadable when `bytes` do not read back as a delta, else the result, after checking what is on disk.
    auto applyInPlace = [&](const std::string& bytes) {
        MemoryDeltaIO store;
        if (FromBlob(store, bytes) != RESULT_OK)
            return kUnreadable;
        const int result = Korrin().ApplyFileDelta(dir.Put(L"target.bin", old), FileDelta(&store));
        EXPECT_EQ(dir.ReadFile(L"target.bin"), result == RESULT_OK ? now : old);
        EXPECT_EQ(dir.Entries(), 1u);
        return result;
    };
    ASSERT_EQ(applyInPlace(blob), RESULT_OK);
    std::size_t failed = 0, readBack = 0;
    for (std::size_t position = 0; position < blob.size(); ++position) {
        SCOPED_TRACE(position);
        std::string flipped = blob;
        flipped[position] = static_cast<char>(flipped[position] ^ 0x5A);
        failed += applyInPlace(flipped) != RESULT_OK;
        const int cut = applyInPlace(blob.substr(0, position));
        EXPECT_NE(cut, RESULT_OK);
        readBack += cut != kUnreadable;
    }
    EXPECT_GT(failed, blob.size() / 2);
    MemoryDeltaIO store;
    ASSERT_EQ(FromBlob(store, blob), RESULT_OK);
    EXPECT_GT(readBack, store.GetDeltaCount());
}

} // namespace
