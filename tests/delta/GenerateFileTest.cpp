// Rebuilding from hand-made instructions: the block arithmetic and the buffering of reads and
// writes. Its failures, the SHA-1 check among them, are tested through ApplyFileDelta.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::Instruction;
using KorrinTest::Literal;
using KorrinTest::Replay;
using KorrinTest::TempDir;

class GenerateFileTest : public ::testing::Test {
protected:
    // Rebuilds from `instructions` against `old` with `window`; the delta's SHA-1 is that of
    // what the instructions mean, as the test's own replay says.
    int Rebuild(const std::string& old, const std::vector<Instruction>& instructions, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", old);
        MemoryDeltaIO store;
        FileDelta delta(&store);
        delta.SetVersion(1);
        delta.SetWindowSize(window);
        for (const Instruction& instruction : instructions) {
            if (instruction.block >= 0)
                delta.AddDelta(static_cast<std::uint32_t>(instruction.block));
            else
                delta.AddDelta(reinterpret_cast<const unsigned char*>(instruction.bytes.data()),
                               static_cast<std::uint32_t>(instruction.bytes.size()));
        }
        delta.SetFileDigest(KorrinTest::FinishedSha1(Replay(instructions, old, window)));
        return delta.GenerateFile(dir.Path(L"old.bin"), dir.Path(L"new.bin"));
    }

    TempDir dir;
};

TEST_F(GenerateFileTest, BlocksInAnyOrderShortAndPastTheEnd)
{
    std::string old;
    for (int i = 0; i < 3000000; ++i)
        old += static_cast<char>(i * 131 % 251);
    const std::uint32_t window = 1000; // 3000 blocks, more than one read of the old file holds
    std::vector<Instruction> instructions = {
        Copy(2999), Copy(0),    Literal("x"), Copy(1),
        Copy(1),    Copy(5000), Copy(1500),   Literal(std::string(3 << 20, 'L')),
        Copy(2)};
    for (long long block = 2998; block >= 0; block -= 7)
        instructions.push_back(Copy(block));
    ASSERT_EQ(Rebuild(old, instructions, window), RESULT_OK);
    EXPECT_EQ(dir.ReadFile(L"new.bin"), Replay(instructions, old, window));

    // A short last block writes only what is there.
    ASSERT_EQ(Rebuild("abcdefghij", {Copy(2), Copy(0)}, 4), RESULT_OK);
    EXPECT_EQ(dir.ReadFile(L"new.bin"), "ijabcd");
}

TEST_F(GenerateFileTest, AnExistingLongerFileIsTruncatedAndWindowZeroCopiesNothing)
{
    dir.WriteFile(L"new.bin", std::string(10000, '#'));
    ASSERT_EQ(Rebuild("abcdefghij", {Copy(1), Literal("!")}, 4), RESULT_OK);
    EXPECT_EQ(dir.ReadFile(L"new.bin"), "efgh!");

    ASSERT_EQ(Rebuild("abcdefghij", {Copy(0), Literal("only this"), Copy(3)}, 0), RESULT_OK);
    EXPECT_EQ(dir.ReadFile(L"new.bin"), "only this");
}

} // namespace
