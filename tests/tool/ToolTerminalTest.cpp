// The installed korrin and terminals: a progress bar for large files on a terminal only, and no
// blob written to one.
#include <string>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

using KorrinTest::PatternBytes;

class TerminalTest : public ToolTest {
protected:
    // Why the tool cannot be given a terminal here, or empty when it can.
    std::string NoTerminal() const
    {
        // A Windows program draws on a console; through Wine a pseudo-terminal becomes one that
        // rewrites every character drawn with cursor controls of its own.
        if (WindowsTool())
            return "the Windows tool has a console, not a terminal";
        return Shell("command -v script").status == 0 ? "" : "needs script(1) to give the tool a terminal";
    }
    // script(1) runs the command on a terminal of its own and copies what it writes there.
    Outcome OnTerminal(const std::string& arguments) const
    {
        return Shell("script -qec " + Quote("\"$K\" " + arguments) + " /dev/null");
    }
};

TEST_F(TerminalTest, LargeFilesShowProgressOnATerminalOnly)
{
    const std::string why = NoTerminal();
    if (!why.empty())
        GTEST_SKIP() << why;
    // Just over the 64 MiB from which progress shows.
    std::string bytes = PatternBytes(64 * 1024 * 1024 + 4096, 5);
    Write("old", bytes);
    bytes.replace(1000000, 5, "edits");
    Write("new", bytes);
    ASSERT_EQ(Run({"signature", "old", "sig"}).status, 0);

    for (const char* command : {"delta sig new d", "patch old d n", "signature old s"}) {
        const Outcome shown = OnTerminal(command);
        ASSERT_EQ(shown.status, 0) << command << ": " << shown.out;
        EXPECT_TRUE(Contains(shown.out, "\r")) << command;
        EXPECT_TRUE(Contains(shown.out, " of 64.0 MiB")) << command << ": " << shown.out;
        EXPECT_TRUE(Contains(shown.out, " left")) << command;

        const Outcome quiet = OnTerminal(std::string(command) + " --quiet");
        ASSERT_EQ(quiet.status, 0) << command;
        EXPECT_EQ(quiet.out, "") << command;
    }
    EXPECT_EQ(Read("n"), bytes);

    // Off a terminal, the same work draws nothing.
    const Outcome off = Run({"delta", "sig", "new", "d"});
    ASSERT_EQ(off.status, 0);
    EXPECT_FALSE(Contains(off.err, "\r"));
    EXPECT_EQ(Lines(off.err).size(), 1u) << off.err;
}

TEST_F(TerminalTest, BlobsAreNotWrittenToATerminal)
{
    const std::string why = NoTerminal();
    if (!why.empty())
        GTEST_SKIP() << why;
    Write("old", PatternBytes(10000, 1));
    ASSERT_EQ(Run({"signature", "old", "sig"}).status, 0);
    for (const char* command : {"signature old -", "delta sig old -", "whole old -"}) {
        const Outcome refused = OnTerminal(command);
        EXPECT_EQ(refused.status, 2) << command;
        EXPECT_TRUE(StartsWith(refused.out, "korrin: will not write the ")) << refused.out;
        EXPECT_EQ(Lines(refused.out).size(), 1u) << refused.out;
    }
}

} // namespace
} // namespace KorrinToolTest
