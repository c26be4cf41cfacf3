// Whatever a damaged delta reads back as, applying it in place either makes exactly the
// intended file or fails and leaves the target as it was, with nothing left beside it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/Road.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

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
