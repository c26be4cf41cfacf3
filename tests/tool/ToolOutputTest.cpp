// What the installed korrin does to the files it writes: a device or a pipe is written into
// and stays what it was, a link leads to the file replaced, an input is never an output, a
// name at the file system's limit still takes its result; in place, the lock keeps a second
// run out for the whole of the first. And terminals: a progress bar for large files on a
// terminal only, and no blob written to one.
#include <fstream>
#include <string>
#include <vector>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

using KorrinTest::PatternBytes;

class OutputTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        old_ = PatternBytes(200000, 4);
        now_ = "new:" + old_.substr(0, 90000) + old_.substr(91000);
        Write("old", old_);
        Write("new", now_);
        ASSERT_EQ(Run({"signature", "old", "sig"}).status, 0);
        ASSERT_EQ(Run({"delta", "sig", "new", "delta"}).status, 0);
    }

    // The kinds of files behind names, without following links.
    std::string Kinds(const std::string& names) const { return Shell("stat -c %F " + names).out; }

    std::string old_;
    std::string now_;
};

TEST_F(OutputTest, DevicesPipesAndLinksAreWrittenThroughNeverReplaced)
{
    // Devices of our own, so that a fault cannot take the system's: the null device and one
    // that is always full.
    if (WindowsTool() || Shell("mknod null c 1 3 && mknod full c 1 7").status != 0)
        GTEST_SKIP() << "device nodes (made by root), pipes and links of POSIX systems";
    Write("linked", "an older file");
    ASSERT_EQ(Shell("ln -s linked link && ln -s missing dangling && mkfifo fifo").status, 0);
    const struct {
        std::string script;
        int status;
        std::string error;  // the first line's ending, for failures
    } cases[] = {
        {"\"$K\" signature old link", 0, ""},
        {"{ timeout 10 cat fifo >got & } && \"$K\" delta sig new fifo --quiet && wait", 0, ""},
        {"\"$K\" signature old dangling", 1, "dangling: it is a symbolic link that leads to no file"},
        {"\"$K\" signature old null", 0, ""},
        {"\"$K\" signature old full", 1, "the signature full: no space left on device"},
        {"\"$K\" delta sig new full", 1, "the delta full: the disk is full"},
        {"\"$K\" patch old delta full", 1, "the new file full: no space left on device"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Shell(c.script);
        EXPECT_EQ(outcome.status, c.status) << c.script << ": " << outcome.err;
        EXPECT_TRUE(Contains(Lines(outcome.err + "\n")[0], c.error)) << outcome.err;
    }
    EXPECT_EQ(Read("linked"), Read("sig"));
    EXPECT_EQ(Read("got"), Read("delta"));
    EXPECT_EQ(Kinds("link dangling fifo null full"),
              "symbolic link\nsymbolic link\nfifo\ncharacter special file\ncharacter special file\n");
    EXPECT_EQ(Names().size(), 11u);
}

// Refused before anything is written, however the input is named: replacing it would lose it.
TEST_F(OutputTest, AReplacedOutputKeepsItsModeAndSetIdBitsOnlyWithItsOwner)
{
    if (WindowsTool() || Shell("id -u").out != "0\n")
        GTEST_SKIP() << "files of another owner (made by root) on POSIX systems";
    ASSERT_EQ(Shell("cp old mine && cp old theirs && chown 65534:65534 theirs && chmod 6755 mine theirs").status, 0);
    EXPECT_EQ(Run({"patch", "old", "delta", "mine"}).status, 0);
    EXPECT_EQ(Run({"patch", "old", "delta", "theirs"}).status, 0);
    EXPECT_EQ(Shell("stat -c %a mine theirs").out, "6755\n755\n");
}

TEST_F(OutputTest, AnOutputThatIsAnInputIsRefused)
{
    const bool links = !WindowsTool() && Shell("ln old hard && ln -s new soft").status == 0;
    const struct {
        std::string script;
        std::string sentence;
    } cases[] = {
        {"signature old old", "cannot write the signature old: it is also the old file old"},
        {"signature - old <old", "cannot write the signature old: it is also the old file from standard input"},
        {"delta sig new sig", "cannot write the delta sig: it is also the signature sig"},
        {"delta sig new new", "cannot write the delta new: it is also the new file new"},
        {"whole new new", "cannot write the delta new: it is also the new file new"},
        {"patch old delta delta", "cannot write the new file delta: it is also the delta delta"},
        {"patch --in-place delta delta", "cannot rebuild delta in place: it is also the delta"},
        {"signature hard old", "cannot write the signature old: it is also the old file hard"},
        {"whole new soft", "cannot write the delta soft: it is also the new file new"},
    };
    const std::string before = Shell("ls && cksum *").out;
    for (const auto& c : cases) {
        // Wine tells a standard handle from outside by neither index nor name.
        if ((!links && (Contains(c.script, "hard") || Contains(c.script, "soft"))) ||
            (WindowsTool() && Contains(c.script, "<old")))
            continue;
        const Outcome outcome = Shell("\"$K\" " + c.script);
        EXPECT_EQ(outcome.status, 1) << c.script;
        EXPECT_EQ(Lines(outcome.err), std::vector<std::string>{"korrin: " + c.sentence});
    }
    EXPECT_EQ(Shell("ls && cksum *").out, before);
}

// The partial file's suffix does not fit beside a name of 255 bytes; the library's fixed
// temporary name does not either, which in place is said plainly before anything is done.
TEST_F(OutputTest, NamesAtTheFileSystemsLimit)
{
    if (WindowsTool())
        GTEST_SKIP() << "the limit is of POSIX file systems";
    const std::string longest(255, 'n');
    EXPECT_EQ(Run({"signature", "old", longest}).status, 0);
    EXPECT_TRUE(Read(longest) == Read("sig"));
    const std::string near(250, 'p');
    Write(near, old_);
    const Outcome outcome = Run({"patch", "--in-place", near, "delta"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(Contains(outcome.err, "its name leaves no room for the suffix .dfttemp")) << outcome.err;
    EXPECT_TRUE(Read(near) == old_);
    EXPECT_EQ(Names().size(), 6u);
}

// A link named in place stays a link, to the file rebuilt. A second run with --lock while the
// first, halfway, waits for the rest of its delta (one larger than what the tool reads at a
// time): it is refused and leaves the first's temporary file alone, and the first ends with
// the right content.
TEST_F(OutputTest, InPlaceALinkStaysAndTheLockHoldsForTheWholeRun)
{
    if (!WindowsTool()) {
        Write("target", old_);
        ASSERT_EQ(Shell("ln -s target alias && \"$K\" patch --in-place alias delta").status, 0);
        EXPECT_EQ(Kinds("alias"), "symbolic link\n");
        EXPECT_TRUE(Read("target") == now_);
    }
    Write("target", old_);
    const std::string large = PatternBytes(3 << 20, 5);
    Write("large", large);
    ASSERT_EQ(Shell("mkfifo feed && \"$K\" whole large whole --quiet").status, 0);
    ASSERT_EQ(Shell("{ \"$K\" patch --in-place --lock target - <feed; echo $? >status; } >/dev/null 2>&1 &").status, 0);
    const std::string delta = Read("whole");
    std::ofstream feed(At("feed"), std::ios::binary);
    feed << delta.substr(0, 2 << 20) << std::flush;
    ASSERT_TRUE(Eventually([&] { return Names().count("target.dfttemp") == 1; }));
    const Outcome second = Run({"patch", "--in-place", "--lock", "target", "delta"});
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(Contains(second.err, "another process holds its lock")) << second.err;
    feed << delta.substr(2 << 20);
    feed.close();
    ASSERT_TRUE(Eventually([&] { return Names().count("status") == 1 && Read("status") == "0\n"; }));
    EXPECT_TRUE(Read("target") == large);
    EXPECT_EQ(Names().count("target.dfttemp") + Names().count("target.korrin-lock"), 0u);
}

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
