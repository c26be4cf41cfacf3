// A delta larger than 4 GiB, which no blob could carry, made and applied through files by
// the installed tool: a sparse file of zeros, quick to read, with an old file's bytes in its
// middle, described against that old file. Run on its own (ctest tool.LargeDelta), since
// it moves some 13 GiB through the page cache and needs 9 GiB of free disk.
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

TEST_F(ToolTest, LargeDeltaBeyondFourGibibytes)
{
    constexpr std::uintmax_t kNeeded = std::uintmax_t{9} << 30;
    if (std::filesystem::space(dir.Root()).available < kNeeded)
        GTEST_SKIP() << "needs 9 GiB free in " << dir.Root();
    constexpr unsigned long long kNewSize = 4400000000ULL; // past 4 GiB, not a multiple of the block
    Write("old", KorrinTest::PatternBytes(1u << 20, 11));
    const Outcome made = Shell("truncate -s " + std::to_string(kNewSize) +
                               " new && dd if=old of=new bs=1M seek=2048 conv=notrunc status=none && "
                               "\"$K\" signature old sig --quiet && \"$K\" delta sig new delta --quiet");
    ASSERT_EQ(made.status, 0) << made.err;
    const std::uintmax_t deltaSize = std::filesystem::file_size(At("delta"));
    EXPECT_GT(deltaSize, std::uintmax_t{1} << 32);

    // Everything but the old file's 512 blocks travels as literals, and the counts, past 32
    // bits, add up to the delta's size: 49 bytes, 5 an instruction, and the literal bytes.
    const Outcome info = RunText({"info", "delta"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(Contains(info.out, "  copies          512\n")) << info.out;
    const std::size_t at = info.out.find("  literals        ");
    ASSERT_NE(at, std::string::npos) << info.out;
    unsigned long long literals = 0;
    unsigned long long literalBytes = 0;
    ASSERT_EQ(std::sscanf(info.out.c_str() + at, "  literals %llu, %llu bytes", &literals, &literalBytes), 2);
    EXPECT_EQ(literalBytes, kNewSize - (1u << 20));
    EXPECT_EQ(49 + 5 * (512 + literals) + literalBytes, deltaSize);

    const Outcome rebuilt = Shell("\"$K\" patch old delta rebuilt --quiet && rm delta && cmp new rebuilt");
    EXPECT_EQ(rebuilt.status, 0) << rebuilt.err << rebuilt.out;
}

} // namespace
} // namespace KorrinToolTest
