#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateFileDelta";

class GenerateFileDeltaFailureTest : public ::testing::Test {
protected:
    GenerateFileDeltaFailureTest() { engine.SetWindowSize(4); }

    // Signs the old file "abcd" with window 4 into `store`.
    void Sign(MemoryDigestIO& store)
    {
        dir.WriteFile(L"old.bin", "abcd");
        FileDigest digest(&store);
        digest.SetVersion(1);
        ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
    }

    int Generate(IDigestIO& signature, IDeltaIO& store, const std::string& now)
    {
        dir.WriteFile(L"new.bin", now);
        FileDigest digest(&signature);
        FileDelta delta(&store);
        return engine.GenerateFileDelta(dir.Path(L"new.bin"), digest, delta);
    }

    // Expects `code`, with the generator's line (quoting `message` when given) last in the
    // log; notes that line's number and returns the whole log.
    std::vector<std::wstring> ExpectFailure(IDigestIO& signature, IDeltaIO& store, const std::string& now,
                                            int code, const std::wstring& message = L"")
    {
        LogCapture capture;
        EXPECT_EQ(Generate(signature, store, now), code);
        const std::vector<std::wstring> texts = capture.Texts();
        EXPECT_TRUE(!texts.empty() && IsErrorLine(texts.back(), ErrorPrefix(code, kFunction, message)));
        lines.push_back(texts.empty() ? -1 : LineNumberOf(texts.back()));
        return texts;
    }

    TempDir dir;
    Korrin engine;
    std::vector<int> lines;
};

// The store refuses the second instruction, which each new file makes at another site: the
// first instruction stays, the generator stops there.
TEST_F(GenerateFileDeltaFailureTest, ARefusedInstructionStopsAfterTheFirst)
{
    MemoryDigestIO signature;
    Sign(signature);
    const struct {
        const char* now;
        Instructions whole;
    } cases[] = {
        {"abcdXabcd", {Copy(0), Literal("X"), Copy(0)}},                   // the run before a copy
        {"Xabcd", {Literal("X"), Copy(0)}},                                // the copy
        {"zzzzzzzzzz", {Literal("zzzz"), Literal("zzzz"), Literal("zz")}}, // a full run
        {"abcdXY", {Copy(0), Literal("XY")}},                              // the run at the end
    };
    for (const auto& c : cases) {
        MemoryDeltaIO plain;
        ASSERT_EQ(Generate(signature, plain, c.now), RESULT_OK);
        ASSERT_EQ(InstructionsOf(plain), c.whole) << c.now;

        RefusingDeltaIO store;
        store.Refuse(Call::Record, 2);
        store.code = 901;
        EXPECT_EQ(ExpectFailure(signature, store, c.now, 901).size(), 1u) << c.now;
        EXPECT_EQ(store.Calls(Call::Record), 2) << c.now;
        EXPECT_EQ(InstructionsOf(store), Instructions{c.whole[0]}) << c.now;
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 4u);
}

TEST_F(GenerateFileDeltaFailureTest, EachFailureIsReportedFromItsOwnSiteWithItsCode)
{
    // A signature store refusing a read, or a delta store refusing a write. Of a class derived
    // from the library's own, the signature store also keeps the generator from answering
    // lookups past the store.
    int code = 100;
    const std::pair<bool, Call> refusals[] = {
        {true, Call::Version},  {true, Call::Window},  {true, Call::Lookup}, {true, Call::BlockLookup},
        {false, Call::Version}, {false, Call::Window}, {false, Call::Size},  {false, Call::Time},
        {false, Call::Sha1},    {false, Call::Finish}};
    for (const auto& [bySignature, call] : refusals) {
        RefusingDigestIO refusing;
        Sign(refusing);
        MemoryDigestIO plain;
        Sign(plain);
        RefusingDeltaIO store;
        if (bySignature)
            refusing.Refuse(call);
        else
            store.Refuse(call);
        refusing.code = store.code = ++code;
        EXPECT_EQ(
            ExpectFailure(bySignature ? static_cast<MemoryDigestIO&>(refusing) : plain, store, "Xabcd", code)
                .size(),
            1u);
        const bool afterTheInstructions = !bySignature && (call == Call::Sha1 || call == Call::Finish);
        EXPECT_EQ(store.GetDeltaCount(), afterTheInstructions ? 2u : 0u);
    }
    MemoryDigestIO signature;
    Sign(signature);

    // A signature claiming a non-empty old file with a window of 0.
    MemoryDigestIO windowless;
    windowless.WriteVersion(1);
    windowless.WriteFileSize(4);
    MemoryDeltaIO windowlessDelta;
    EXPECT_EQ(ExpectFailure(windowless, windowlessDelta, "abcd", RESULT_FAILED, dir.Path(L"new.bin")).size(),
              1u);
    EXPECT_EQ(windowlessDelta.GetDeltaCount(), 0u);

    {
        // A new file that cannot be examined is named.
        FaultyRuntime runtime;
        runtime.FailOpenOf(dir.Path(L"new.bin"), ENOENT);
        MemoryDeltaIO store;
        EXPECT_EQ(ExpectFailure(signature, store, "abcd", RESULT_FAILED, dir.Path(L"new.bin")).size(), 1u);
        EXPECT_EQ(store.GetDeltaCount(), 0u);
    }
    {
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Read, EIO);
        MemoryDeltaIO store;
        const std::vector<std::wstring> texts = ExpectFailure(signature, store, "abcd", RESULT_FAILED);
        ASSERT_EQ(texts.size(), 2u);
        EXPECT_TRUE(IsErrorLine(texts[0], L"Error 32768 at func: FileWindow::Read")) << texts[0];
        EXPECT_EQ(store.GetDeltaCount(), 0u);
    }
    EXPECT_EQ(lines.size(), 13u);
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), lines.size());
}

// A store of a class derived from the library's own is asked, and its refusal counts.
TEST_F(GenerateFileDeltaFailureTest, ADerivedSignatureStoreIsAskedForEveryLookup)
{
    RefusingDigestIO signature;
    Sign(signature);
    MemoryDeltaIO store;
    ASSERT_EQ(Generate(signature, store, "Xabcd"), RESULT_OK);
    EXPECT_EQ(InstructionsOf(store), (Instructions{Literal("X"), Copy(0)}));
    EXPECT_EQ(signature.Calls(Call::Lookup), 2) << "one lookup per window position";
}

} // namespace
