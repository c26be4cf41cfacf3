// Rebuilding from hand-made instructions: the block arithmetic and the buffering of reads and
// writes. Its failures, the SHA-1 check among them, are tested through ApplyFileDelta.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/Stores.h"
#include "support/LogCapture.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

class GenerateFileTest : public ::testing::Test {
protected:
    // Rebuilds from `instructions` against `old` with `window` over an existing new file, and
    // expects what the test's own replay makes of them, which is also the delta's SHA-1.
    void ExpectRebuilt(const std::string& old, const Instructions& instructions, std::uint32_t window)
    {
        dir.Put(L"old.bin", old);
        dir.Put(L"new.bin", std::string(10000, '#'));
        MemoryDeltaIO store;
        FileDelta delta(&store);
        delta.SetVersion(1);
        delta.SetWindowSize(window);
        WriteInstructions(store, instructions);
        const std::string expected = Replay(instructions, old, window);
        delta.SetFileSize(expected.size());
        delta.SetFileDigest(FinishedSha1(expected));
        ASSERT_EQ(delta.GenerateFile(dir.Path(L"old.bin"), dir.Path(L"new.bin")), RESULT_OK);
        EXPECT_TRUE(dir.ReadFile(L"new.bin") == expected);
    }

    TempDir dir;
};

// 3000 blocks, more than one read of the old file holds, in any order, repeated, past the end;
// a literal larger than the write buffer; runs of consecutive blocks gathered, forward only.
TEST_F(GenerateFileTest, BlocksInAnyOrderShortAndPastTheEnd)
{
    std::string old;
    for (int i = 0; i < 3000000; ++i)
        old += static_cast<char>(i * 131 % 251);
    Instructions instructions = {Copy(2999), Copy(0),    Literal("x"), Copy(1),
                                 Copy(1),    Copy(5000), Copy(1500),   Literal(std::string(3 << 20, 'L')),
                                 Copy(2),    Copy(3),    Copy(4)};
    for (long long block = 2998; block >= 0; block -= 7)
        instructions.push_back(Copy(block));
    ExpectRebuilt(old, instructions, 1000);
    // A short last block writes only what is there; an existing longer file is truncated.
    ExpectRebuilt("abcdefghij", {Copy(2), Copy(0), Copy(1), Literal("!")}, 4);
    // Window 0 copies nothing.
    ExpectRebuilt("abcdefghij", {Copy(0), Literal("only this"), Copy(3)}, 0);
}

// A hostile delta: blocks of 1 GiB, 10 bytes declared, 200 copies of block 0 of a 1 MiB old
// file. Reads take memory by the old file, not the block size, and no copy takes the new file
// past its declared size: the rebuild fails at the first copy with nothing written, as it
// would at the SHA-1 check. Declaring the right size, such blocks rebuild as ever.
TEST_F(GenerateFileTest, AHostileDeltaTakesAndWritesOnlyWhatItsFilesJustify)
{
    RefuseAllocationsFrom limit(64u << 20);
    const std::string old = PatternBytes(1u << 20, 6);
    ExpectRebuilt(old, {Literal("abc"), Copy(0), Copy(5), Copy(0)}, 1u << 30);
    MemoryDeltaIO store;
    WriteProperties(store, {1, 1u << 30, 10, 0, Sha1Of("0123456789")});
    WriteInstructions(store, Instructions(200, Copy(0)));
    LogCapture capture;
    EXPECT_EQ(FileDelta(&store).GenerateFile(dir.Path(L"old.bin"), dir.Path(L"new.bin")), RESULT_FAILED);
    EXPECT_EQ(std::filesystem::file_size(dir.NativePath(L"new.bin")), 0u);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::FileDelta::GenerateFile")}));
}

} // namespace
