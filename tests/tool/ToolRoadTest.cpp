// The installed korrin on the way it is meant to be used: signature, delta and patch to a
// new file and in place, whole-file deltas, info on both kinds of blob, block sizes,
// standard streams and pipes, help and version; a delta past 4 GiB.
#include <cstdio>
#include <string>
#include <vector>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

using KorrinTest::PatternBytes;

// An old file and a new one made from it by an overwrite, an insertion and a cut.
class RoadTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        old_ = PatternBytes(300000, 1);
        now_ = old_.substr(0, 100000) + "an insertion" + old_.substr(100000, 150000) + old_.substr(260000);
        now_[5000] = static_cast<char>(now_[5000] ^ 0x5A);
        Write("old", old_);
        Write("new", now_);
    }

    // The SHA-1 value of a file in hex, as the system's own tool computes it.
    std::string Sha1(const std::string& name) const
    {
        const Outcome outcome = Shell("sha1sum " + Quote(name));
        return outcome.out.substr(0, 40);
    }

    // The value of a line "  LABEL  VALUE" of info's output.
    static std::string Field(const std::string& info, const std::string& label)
    {
        for (const std::string& line : Lines(info))
            if (StartsWith(line, "  " + label + " "))
                return line.substr(line.find_first_not_of(' ', 2 + label.size()));
        return "(no " + label + ")";
    }

    std::string old_;
    std::string now_;
};

TEST_F(RoadTest, SignatureDeltaAndPatchRebuildTheNewFileBesideOrInPlaceAndSaySoOnce)
{
    const Outcome signature = Run({"signature", "old", "sig"});
    ASSERT_EQ(signature.status, 0) << signature.err;
    EXPECT_EQ(signature.err, "");
    ASSERT_EQ(Run({"delta", "sig", "new", "delta"}).status, 0);
    // One summary line each, with the share that travelled; nothing drawn off a terminal.
    char share[64];
    std::snprintf(share, sizeof share, "(%.2f%% of it)", 100.0 * Read("delta").size() / now_.size());
    Write("plain", old_);
    Write("locked", old_);
    const struct {
        std::vector<std::string> arguments;
        std::string summary; // empty: none
        std::string rebuilt;
    } runs[] = {
        {{"delta", "sig", "new", "delta"}, "korrin: delta of new: ", "delta"},
        {{"patch", "old", "delta", "rebuilt"}, "korrin: rebuilt rebuilt: ", "rebuilt"},
        // --quiet leaves stderr empty; --verbose would add the library's log, of which a plain rebuild has none.
        {{"patch", "--quiet", "old", "delta", "again"}, "", "again"},
        {{"patch", "--verbose", "old", "delta", "again"}, "korrin: rebuilt again: ", "again"},
        {{"patch", "--in-place", "plain", "delta"}, "korrin: rebuilt plain in place: ", "plain"},
        {{"patch", "locked", "delta", "--in-place", "--lock"}, "korrin: rebuilt locked in place: ", "locked"},
    };
    for (const auto& run : runs) {
        const Outcome outcome = Run(run.arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(Lines(outcome.err).size(), run.summary.empty() ? 0u : 1u) << outcome.err;
        EXPECT_TRUE(StartsWith(outcome.err, run.summary)) << outcome.err;
        EXPECT_TRUE(run.summary.empty() || Contains(outcome.err, share)) << outcome.err << " lacks " << share;
        EXPECT_FALSE(Contains(outcome.err, "\r") || Contains(outcome.err, "tervasso.korrin")) << outcome.err;
        EXPECT_TRUE(run.rebuilt == "delta" || Read(run.rebuilt) == now_) << run.rebuilt;
    }
    EXPECT_EQ(Read("old"), old_);
    // Neither the library's temporary file nor the lock's companion is left behind.
    EXPECT_EQ(Names(), (std::set<std::string>{"old", "new", "sig", "delta", "rebuilt", "again", "plain", "locked"}));
}

// POSIX names are bytes: names that are not UTF-8 (a stray byte, a truncated, an overlong and
// an encoded surrogate sequence) are signed, described and rebuilt under exactly their bytes.
TEST_F(RoadTest, NamesThatAreNotUtf8AreKeptByteForByte)
{
    if (WindowsTool())
        GTEST_SKIP() << "a Windows command line carries no bytes that are not UTF-8";
    const std::string old = "old\xff", sig = "sig\xc3", delta = "d\xed\xa0\x80", rebuilt = "n\xc0\xaf", in = "p\x80";
    Write(old, old_);
    Write(in, old_);
    const std::vector<std::vector<std::string>> runs = {
        {"signature", old, sig}, {"delta", sig, "new", delta}, {"patch", old, delta, rebuilt}, {"patch", "--in-place", in, delta}};
    for (const auto& arguments : runs) {
        const Outcome outcome = Run(arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
    }
    EXPECT_EQ(Read(rebuilt), now_);
    EXPECT_EQ(Read(in), now_);
    EXPECT_EQ(Names(), (std::set<std::string>{"old", "new", old, sig, delta, rebuilt, in}));
}

TEST_F(RoadTest, InfoTellsTheKindsApartAndShowsWhatEachHolds)
{
    ASSERT_EQ(Shell("touch -d '2021-03-04 05:06:07 UTC' old new").status, 0);
    ASSERT_EQ(Run({"signature", "old", "sig", "--block-size", "1000"}).status, 0);
    ASSERT_EQ(Run({"delta", "sig", "new", "delta"}).status, 0);
    ASSERT_EQ(Run({"delta", "sig", "old", "same"}).status, 0);

    const Outcome signature = RunText({"info", "sig"});
    ASSERT_EQ(signature.status, 0) << signature.err;
    EXPECT_EQ(Lines(signature.out)[0], "sig: signature blob of " + std::to_string(Read("sig").size()) + " bytes");
    EXPECT_EQ(Field(signature.out, "format version"), "1");
    EXPECT_EQ(Field(signature.out, "block size"), "1000");
    EXPECT_TRUE(StartsWith(Field(signature.out, "file size"), "300000 (")) << signature.out;
    EXPECT_EQ(Field(signature.out, "modified"), "2021-03-04 05:06:07 UTC");
    EXPECT_EQ(Field(signature.out, "SHA-1"), Sha1("old"));
    EXPECT_EQ(Field(signature.out, "block groups"), "300");  // distinct blocks: one group each
    EXPECT_EQ(Field(signature.out, "copies"), "(no copies)");

    const Outcome delta = RunText({"info", "delta"});
    ASSERT_EQ(delta.status, 0) << delta.err;
    EXPECT_EQ(Lines(delta.out)[0], "delta: delta blob of " + std::to_string(Read("delta").size()) + " bytes");
    EXPECT_EQ(Field(delta.out, "block size"), "1000");
    EXPECT_TRUE(StartsWith(Field(delta.out, "file size"), std::to_string(now_.size()) + " (")) << delta.out;
    EXPECT_EQ(Field(delta.out, "modified"), "2021-03-04 05:06:07 UTC");
    EXPECT_EQ(Field(delta.out, "SHA-1"), Sha1("new"));
    EXPECT_EQ(Field(delta.out, "block groups"), "(no block groups)");
    char travels[64];
    std::snprintf(travels, sizeof travels, "%.2f%% of the file's size", 100.0 * Read("delta").size() / now_.size());
    EXPECT_EQ(Field(delta.out, "travels"), travels);

    // Against its own signature a file is all copies.
    const Outcome same = RunText({"info", "same"});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_EQ(Field(same.out, "copies"), "300");
    EXPECT_EQ(Field(same.out, "literals"), "0, 0 bytes");

    // From standard input too.
    const Outcome piped = RunText({"info", "-"}, "sig");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_TRUE(StartsWith(piped.out, "standard input: signature blob of ")) << piped.out;
}

TEST_F(RoadTest, BlockSizeAutoFollowsTheSquareRootOfTheSize)
{
    // The power of two nearest the root, from 512 up: 2^21 bytes is where 2048 starts.
    const std::pair<std::size_t, std::string> cases[] = {
        {100, "512"}, {1u << 20, "1024"}, {(1u << 21) - 1, "1024"}, {1u << 21, "2048"}};
    for (const auto& [size, expected] : cases) {
        Write("file", PatternBytes(size, 3));
        const Outcome signature = Run({"signature", "--block-size=auto", "file", "sig"});
        ASSERT_EQ(signature.status, 0) << signature.err;
        EXPECT_TRUE(StartsWith(signature.err, "korrin: block size " + expected + " (auto")) << signature.err;
        EXPECT_EQ(Field(RunText({"info", "sig"}).out, "block size"), expected) << size;
        EXPECT_EQ(Run({"signature", "--block-size", "auto", "--quiet", "file", "sig"}).err, "");
    }
}

TEST_F(RoadTest, StandardStreamsAndPipesCarryBlobsAndFiles)
{
    ASSERT_EQ(Run({"signature", "old", "sig"}).status, 0);

    // NEW from standard input, the delta to standard output.
    const Outcome streamed = Run({"delta", "sig", "-", "-"}, "new");
    ASSERT_EQ(streamed.status, 0) << streamed.err;
    Write("delta", streamed.out);
    ASSERT_EQ(Run({"patch", "old", "delta", "a"}).status, 0);
    EXPECT_EQ(Read("a"), now_);

    // The signature through a pipe, each side's status kept. The delta carries NEW's time,
    // which a NEW from standard input takes from its spool: compared with one of the named NEW.
    const Outcome piped = Shell("{ \"$K\" signature old -; echo $? >status; } | \"$K\" delta - new piped");
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(Read("status"), "0\n");
    ASSERT_EQ(Run({"delta", "sig", "new", "named"}).status, 0);
    EXPECT_EQ(Read("piped"), Read("named"));

    // A whole-file delta through a pipe, rebuilt to standard output from an unrelated old file
    // that comes through a named pipe.
    Write("unrelated", PatternBytes(5000, 9));
    const Outcome whole = Shell("mkfifo fifo && { cat unrelated >fifo & } && "
                                "\"$K\" whole - - <new | \"$K\" patch fifo - - >b");
    ASSERT_EQ(whole.status, 0) << whole.err;
    EXPECT_TRUE(Contains(whole.err, "korrin: whole-file delta of standard input: ")) << whole.err;
    EXPECT_EQ(Read("b"), now_);

    // Standard input spooled to disk is gone afterwards, and nothing was written beside.
    EXPECT_EQ(TemporaryFiles(), 0u);
    EXPECT_EQ(Names(), (std::set<std::string>{"old", "new", "sig", "delta", "a", "status", "piped", "named",
                                              "unrelated", "fifo", "b"}));
}

TEST_F(RoadTest, HelpForEveryCommandAndTheVersions)
{
    const Outcome general = RunText({"--help"});
    ASSERT_EQ(general.status, 0);
    for (const char* command : {"signature", "delta", "whole", "patch", "info"}) {
        EXPECT_TRUE(Contains(general.out, std::string("  ") + command + " ")) << command;
        const Outcome own = RunText({command, "--help"});
        EXPECT_EQ(own.status, 0) << command;
        EXPECT_TRUE(StartsWith(own.out, std::string("usage: korrin ") + command)) << own.out;
        EXPECT_EQ(own.err, "");
    }
    const Outcome version = RunText({"--version"});
    ASSERT_EQ(version.status, 0);
    EXPECT_EQ(Lines(version.out), (std::vector<std::string>{"korrin " KORRIN_EXPECTED_VERSION,
                                                            "Korrin library " KORRIN_EXPECTED_VERSION
                                                            "; blobs of format version 1"}));
    for (const char* option : {"--help", "--version"}) {
        const Outcome full = Shell("\"$K\" " + std::string(option) + " >/dev/full");
        EXPECT_EQ(full.status, 1) << option;
        EXPECT_EQ(Lines(full.err), (std::vector<std::string>{"korrin: cannot write to the standard output"}));
    }
}

// A delta larger than 4 GiB, which no blob could carry, made and applied through files: a
// sparse file of zeros, quick to read, with an old file's bytes in its middle, described against
// that old file. Run on its own (ctest tool.LargeDelta), since it moves some 13 GiB through the
// page cache and needs 9 GiB of free disk.
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
