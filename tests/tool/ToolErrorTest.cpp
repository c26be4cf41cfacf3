// The installed korrin when things go wrong: every usage error ends with status 2 and one
// line, before anything is touched; every failure ends with status 1, a sentence naming the
// file and the library's chain of log lines, and leaves no partial output and every target
// as it was, also when the tool is interrupted.
#include <cerrno>
#include <csignal>
#include <fstream>
#include <string>
#include <vector>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

using KorrinTest::PatternBytes;

class ErrorTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        old_ = PatternBytes(200000, 1);
        now_ = old_.substr(0, 50000) + "changed" + old_.substr(50000);
        Write("old", old_);
        Write("new", now_);
        ASSERT_EQ(Run({"signature", "old", "sig"}).status, 0);
        ASSERT_EQ(Run({"delta", "sig", "new", "delta"}).status, 0);
        before_ = Names();
    }

    // Status 1, the sentence as the first line, then the library's chain when `chain`.
    static void ExpectFailure(const Outcome& outcome, const std::string& sentence, bool chain)
    {
        EXPECT_EQ(outcome.status, 1) << outcome.err;
        const std::vector<std::string> lines = Lines(outcome.err);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "korrin: " + sentence);
        EXPECT_EQ(lines.size() >= 2, chain) << outcome.err;
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_TRUE(StartsWith(lines[i], "  tervasso.korrin: Error ")) << lines[i];
    }

    std::string old_;
    std::string now_;
    std::set<std::string> before_;
};

TEST_F(ErrorTest, UsageErrorsSayWhatIsWrongInOneLineAndDoNothing)
{
    const struct Case {
        std::vector<std::string> arguments;
        std::string message;  // what the line must say, and the help it points to
        std::string help;
    } cases[] = {
        {{}, "no command given", "korrin --help"},
        {{"frob", "a"}, "unknown command 'frob'", "korrin --help"},
        {{"signature", "--bogus", "old", "s"}, "unknown option '--bogus'", "korrin signature --help"},
        {{"signature", "old"}, "missing operands: korrin signature OLD SIG", "korrin signature --help"},
        {{"signature", "old", "s", "x"}, "extra operand 'x'", "korrin signature --help"},
        {{"delta", "sig", "new"}, "missing operands: korrin delta SIG NEW DELTA", "korrin delta --help"},
        {{"whole", "new"}, "missing operands: korrin whole NEW DELTA", "korrin whole --help"},
        {{"patch", "old", "delta"}, "missing operands: korrin patch OLD DELTA NEW", "korrin patch --help"},
        {{"patch", "--in-place", "old"}, "missing operands: korrin patch --in-place FILE DELTA", "korrin patch --help"},
        {{"patch", "--in-place", "old", "delta", "x"}, "extra operand 'x'", "korrin patch --help"},
        {{"info"}, "missing operands: korrin info FILE", "korrin info --help"},
        {{"signature", "--block-size", "0", "old", "s"}, "bad block size '0'", "korrin signature --help"},
        {{"signature", "--block-size", "12k", "old", "s"}, "bad block size '12k'", "korrin signature --help"},
        {{"signature", "--block-size=2147483648", "old", "s"}, "bad block size '2147483648'", "korrin signature --help"},
        {{"signature", "--block-size=", "old", "s"}, "bad block size ''", "korrin signature --help"},
        {{"signature", "old", "s", "--block-size"}, "option --block-size needs a value", "korrin signature --help"},
        {{"delta", "--block-size", "512", "sig", "new", "d"}, "delta takes no --block-size", "korrin delta --help"},
        {{"info", "--in-place", "sig"}, "info takes no --in-place", "korrin info --help"},
        {{"patch", "--lock", "old", "delta", "n"}, "--lock goes with --in-place", "korrin patch --help"},
        {{"delta", "-", "-", "d"}, "SIG and NEW cannot both come from standard input", "korrin delta --help"},
        {{"patch", "-", "delta", "n"}, "OLD must be a file", "korrin patch --help"},
        {{"--quiet=yes", "info", "sig"}, "option --quiet takes no value", "korrin --help"},
        {{"info", "--verbose=no", "sig"}, "option --verbose takes no value", "korrin info --help"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Run(c.arguments);
        SCOPED_TRACE(::testing::PrintToString(c.arguments) + ": " + outcome.err);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(Lines(outcome.err).size(), 1u);
        EXPECT_TRUE(StartsWith(outcome.err, "korrin: "));
        EXPECT_TRUE(Contains(outcome.err, c.message));
        EXPECT_TRUE(Contains(outcome.err, "(see " + c.help + ")"));
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(Names(), before_);
    }
}

// Every failure names the file, with the library's chain unless the tool read the blob itself,
// and leaves the outputs that existed ("d", "s", "n") and every target as they were, with
// neither a partial file, nor the library's temporary file, nor a lock's companion beside them.
TEST_F(ErrorTest, FailuresNameTheFileAndLeaveEveryOutputAsItWas)
{
    const std::string delta = Read("delta");
    // A delta is read as it is applied: one that breaks off is found out there. Each of the
    // others reads without complaint as far as it goes, but is no whole blob of either kind.
    Write("cut", delta.substr(0, delta.size() - 7));
    Write("text", "this is no blob\n");
    Write("empty", "");
    Write("trailing", Read("sig") + "junk");
    std::string other = delta;
    other[1] = 2;  // the version record's first byte: it parses, but only version 1 can be applied
    Write("v2", other);
    const std::string wrong = PatternBytes(200000, 2);
    Write("wrong", wrong);
    for (const std::string kept : {"d", "s", "n"})
        Write(kept, "an older " + kept);
    Write("blocked", old_);  // where its temporary file would go, something is in the way
    std::filesystem::create_directory(At("blocked.dfttemp"));
    before_ = Names();
    const std::string mismatch = ": the result does not match the delta's SHA-1 value, so the delta was made "
                                 "against another old file";
    const struct {
        std::vector<std::string> arguments;
        std::string sentence;
        bool chain;
    } cases[] = {
        {{"signature", "absent", "s"}, "cannot sign absent: it does not exist", true},
        {{"delta", "sig", "absent", "d"}, "cannot make the delta of absent: it does not exist", true},
        {{"whole", "absent", "d"}, "cannot make the whole-file delta of absent: it does not exist", true},
        {{"patch", "absent", "delta", "n"}, "cannot rebuild n from absent: it does not exist", true},
        {{"delta", "absent", "new", "d"}, "cannot read the signature absent: it does not exist", false},
        {{"info", "absent"}, "cannot read the blob absent: it does not exist", false},
        // An output that cannot be made fails before the work.
        {{"delta", "sig", "new", "nowhere/d"}, "cannot write the delta nowhere/d: no such file or directory", false},
        {{"patch", "old", "cut", "n"}, "cannot rebuild n from old: the delta is damaged or cannot be read", true},
        {{"delta", "delta", "new", "d"}, "cannot read the signature delta: it is not a signature blob", true},
        {{"patch", "old", "sig", "n"}, "cannot rebuild n from old: the delta is damaged or cannot be read", true},
        {{"patch", "old", "text", "n"}, "cannot read the delta text: it is not a delta blob", true},
        {{"info", "text"}, "cannot show text: it is not a signature or delta blob", true},
        {{"info", "cut"}, "cannot show cut: it is not a signature or delta blob", true},
        {{"info", "empty"}, "cannot show empty: it is not a signature or delta blob", true},
        {{"info", "trailing"}, "cannot show trailing: it is not a signature or delta blob", true},
        {{"patch", "old", "v2", "n"},
         "cannot rebuild n from old: the delta is of format version 2, and only version 1 can be applied", true},
        {{"patch", "wrong", "delta", "n"}, "cannot rebuild n from wrong" + mismatch, true},
        {{"patch", "--in-place", "wrong", "delta"}, "cannot rebuild wrong in place" + mismatch, true},
        {{"patch", "--in-place", "--lock", "wrong", "delta"}, "cannot rebuild wrong in place" + mismatch, true},
        {{"patch", "--in-place", "blocked", "delta"},
         "cannot rebuild blocked in place: something is in the way of its temporary file blocked.dfttemp", true},
    };
    for (const auto& c : cases)
        ExpectFailure(Run(c.arguments), c.sentence, c.chain);
    for (const std::string kept : {"d", "s", "n"})
        EXPECT_EQ(Read(kept), "an older " + kept);
    EXPECT_EQ(Read("wrong"), wrong);
    EXPECT_EQ(Read("blocked"), old_);
    EXPECT_EQ(Names(), before_);
    EXPECT_EQ(TemporaryFiles(), 0u);
}

// The lock is taken before anything is written, and held for the whole run.
TEST_F(ErrorTest, ALockHeldElsewhereLeavesTheFileAndWritesNothingBeside)
{
    Write("target", old_);
    // Another process holds the lock while the tool runs: flock(1) on POSIX systems, else the
    // program named by KORRIN_TOOL_HOLDING, run as HOLDING FILE ARGUMENTS...
    const char* holding = std::getenv("KORRIN_TOOL_HOLDING");
    const std::string hold = holding != nullptr ? Quote(holding) + " target.korrin-lock"
                                                : std::string("flock target.korrin-lock \"$K\"");
    const Outcome outcome = Shell(hold + " patch --in-place --lock target delta </dev/null");
    ExpectFailure(outcome, "cannot rebuild target in place: another process holds its lock", false);
    EXPECT_EQ(Read("target"), old_);
    EXPECT_EQ(Names().count("target.dfttemp"), 0u);
}

TEST_F(ErrorTest, AnInterruptRemovesThePartialOutputAndTheSpooledInput)
{
    // The tool waits on its standard input, a pipe the test holds open, with its output
    // already begun under a partial name and the input spooling to a temporary file.
    ASSERT_EQ(Shell("mkfifo feed").status, 0);
    ASSERT_EQ(Shell("sh -c 'echo $$ >pid; exec \"$K\" delta sig - d <feed' >/dev/null 2>&1 &").status, 0);
    std::ofstream feed(At("feed"), std::ios::binary);
    feed << now_.substr(0, 1000) << std::flush;
    auto partials = [&] {
        std::size_t count = 0;
        for (const std::string& name : Names())
            count += StartsWith(name, "d.korrin-partial-") ? 1 : 0;
        return count;
    };
    ASSERT_TRUE(Eventually([&] { return partials() == 1 && TemporaryFiles() == 1; }));

    // On Windows an interrupt is the console's Ctrl+C, which Wine delivers for SIGINT.
    const pid_t pid = static_cast<pid_t>(std::stol(Read("pid")));
    ASSERT_EQ(::kill(pid, WindowsTool() ? SIGINT : SIGTERM), 0);
    EXPECT_TRUE(Eventually([&] { return partials() == 0 && TemporaryFiles() == 0; }));
    feed.close();
    EXPECT_EQ(Names().count("d"), 0u);
}

} // namespace
} // namespace KorrinToolTest
