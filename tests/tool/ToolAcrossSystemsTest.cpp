// Blobs are one format on every system: given the same files, the tool built for another
// system (KORRIN_PEER_TOOL) writes the same signatures and deltas byte for byte, and each
// build rebuilds the new file from a delta the other made against its signature.
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TestData.h"
#include "tool/ToolRun.h"

namespace KorrinToolTest {
namespace {

using KorrinTest::PatternBytes;

class AcrossSystemsTest : public ToolTest {
protected:
    void SetUp() override
    {
        ToolTest::SetUp();
        const char* peer = std::getenv("KORRIN_PEER_TOOL");
        if (peer == nullptr)
            GTEST_SKIP() << "needs KORRIN_PEER_TOOL, the tool built for another system";
        peer_ = peer;
    }

    // `tool` quietly with these arguments, nothing on standard input; asserts that it succeeded.
    // (Quiet: the two builds end their lines each as its system does.)
    void Succeeds(const std::string& tool, const std::vector<std::string>& arguments) const
    {
        std::string script = Quote(tool) + " --quiet";
        for (const std::string& argument : arguments)
            script += " " + Quote(argument);
        const Outcome outcome = Shell(script + " </dev/null");
        EXPECT_EQ(outcome.status, 0) << script << ": " << outcome.err;
    }

    // The same bytes, or where two blobs or files part.
    static ::testing::AssertionResult Same(const std::string& a, const std::string& b)
    {
        if (a == b)
            return ::testing::AssertionSuccess();
        std::size_t at = 0;
        while (at < a.size() && at < b.size() && a[at] == b[at])
            ++at;
        return ::testing::AssertionFailure()
               << a.size() << " and " << b.size() << " bytes, apart from byte " << at;
    }

    std::string peer_;
};

TEST_F(AcrossSystemsTest, BothBuildsWriteTheSameBlobsAndApplyEachOthersDeltas)
{
    struct Case {
        std::string old;
        std::string now;
        std::size_t size;
        std::string blockSize;
    };
    // Sizes that are no multiple of the block size, and names outside ASCII.
    const Case cases[] = {
        {"Grüße-€.bin", "новый файл.bin", 300001, "1000"},
        {"old.bin", "日本語.bin", 70123, "auto"},
        {"ünder one block", "new", 700, "1024"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.old + " -> " + c.now);
        const std::string old = PatternBytes(c.size, 7);
        std::string now = old.substr(0, c.size / 3) + "inserted" + old.substr(c.size / 3, c.size / 2);
        now[now.size() / 5] = static_cast<char>(now[now.size() / 5] ^ 0x33);
        Write(c.old, old);
        Write(c.now, now);

        // One old file signed by both: its time is in the signature.
        Succeeds(tool_, {"signature", "--block-size", c.blockSize, c.old, "sig.tool"});
        Succeeds(peer_, {"signature", "--block-size", c.blockSize, c.old, "sig.peer"});
        EXPECT_TRUE(Same(Read("sig.tool"), Read("sig.peer")));

        // Each makes the delta against the other's signature and applies the other's delta.
        Succeeds(tool_, {"delta", "sig.peer", c.now, "delta.tool"});
        Succeeds(peer_, {"delta", "sig.tool", c.now, "delta.peer"});
        EXPECT_TRUE(Same(Read("delta.tool"), Read("delta.peer")));
        Succeeds(peer_, {"patch", c.old, "delta.tool", "rebuilt.peer"});
        Succeeds(tool_, {"patch", c.old, "delta.peer", "rebuilt.tool"});
        EXPECT_TRUE(Same(Read("rebuilt.peer"), now));
        EXPECT_TRUE(Same(Read("rebuilt.tool"), now));

        Succeeds(tool_, {"whole", c.now, "whole.tool"});
        Succeeds(peer_, {"whole", c.now, "whole.peer"});
        EXPECT_TRUE(Same(Read("whole.tool"), Read("whole.peer")));
    }
}

} // namespace
} // namespace KorrinToolTest
