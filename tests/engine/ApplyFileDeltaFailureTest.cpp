// Every way rebuilding and in-place application can fail: the code, the chain of report lines
// from the innermost out, and what is left on disk.
#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "platform/FileLock.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Chain = std::vector<std::wstring>;

const std::wstring kGenerateFile = L"Halvorn::Vantrel::FileDelta::GenerateFile";
const std::wstring kApply = L"Halvorn::Vantrel::Korrin::ApplyFileDelta";
// The store's own line when the instructions run out, logged by every complete rebuild.
const std::wstring kEnd = ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::MemoryDeltaIO::ReadDelta");

class ApplyFileDeltaFailureTest : public ::testing::Test {
protected:
    ApplyFileDeltaFailureTest()
        : old(PatternBytes(1500, 3)), now(old.substr(0, 200) + "patched in" + old.substr(260) + "tail"),
          blob(MakeDeltaBlob(dir, old, now, 64))
    {
        dir.WriteFile(L"target.bin", old);
    }

    // A fresh store holding the delta (a store has one reading).
    void Load(MemoryDeltaIO& store, const std::string& bytes)
    {
        ASSERT_EQ(LoadDelta(store, bytes), RESULT_OK);
    }
    std::wstring Target() const { return dir.Path(L"target.bin"); }

    TempDir dir;
    const std::string old;
    const std::string now;
    const std::string blob;
    Korrin engine;
};

// Applied in place (two-argument form): the code from the rebuild's own site (quoting the file
// that cannot be opened) after the lines before it, then from each of the three application
// layers; the target as it was and nothing beside it. Rebuilding gathers reads and writes a
// mebibyte at a time: for this small file the first call of each kind is the one, and its errno
// gives the code of a failed write.
TEST_F(ApplyFileDeltaFailureTest, EachRebuildFailureHasItsOwnSite)
{
    using Arrange = std::function<void(FaultyRuntime&, RefusingDeltaIO&)>;
    auto refuse = [](Call call, int code, int nth = 1) {
        return [=](FaultyRuntime&, RefusingDeltaIO& store) {
            store.Refuse(call, nth);
            store.code = code;
        };
    };
    auto failing = [](RuntimeCall call, int error) {
        return [=](FaultyRuntime& runtime, RefusingDeltaIO&) { runtime.FailCall(call, error); };
    };
    const std::wstring temporary = Target() + L".dfttemp";
    const struct {
        Arrange arrange;
        int code;
        std::wstring message = L"";
        Chain inner = {};
        bool ownSite = true;
    } cases[] = {
        {[&](FaultyRuntime& r, RefusingDeltaIO&) { r.FailOpenOf(temporary, EACCES); }, RESULT_FAILED,
         temporary},
        {[&](FaultyRuntime& r, RefusingDeltaIO&) { r.FailOpenOf(Target(), EACCES); }, RESULT_FAILED,
         Target()},
        {refuse(Call::Version, 101), 101},
        {refuse(Call::Window, 102), 102},
        {refuse(Call::Size, 103), 103},
        {refuse(Call::Time, 104), 104},
        {refuse(Call::ReadRecord, 105, 3), 105},
        {refuse(Call::Sha1, 106),
         106,
         L"",
         {kEnd, ErrorPrefix(106, L"Halvorn::Vantrel::FileDelta::GetFileDigest")}},
        {[](FaultyRuntime&, RefusingDeltaIO& store) { store.WriteVersion(2); }, RESULT_FAILED},
        {[](FaultyRuntime&, RefusingDeltaIO& store) {
             _sha1_hash sha1;
             store.ReadFileDigest(sha1);
             sha1.bytes[19] ^= 1;
             store.WriteFileDigest(sha1);
         },
         RESULT_FAILED,
         L"",
         {kEnd}},
        {failing(RuntimeCall::Read, EIO), RESULT_FAILED},
        {failing(RuntimeCall::Write, EIO), RESULT_FAILED},
        {failing(RuntimeCall::Write, EBADF), RESULT_WRITE_EBADF, L"", {}, false},
        {failing(RuntimeCall::Write, EINVAL), RESULT_WRITE_EINVAL, L"", {}, false},
        {failing(RuntimeCall::Write, ENOSPC), RESULT_WRITE_ENOSPC, L"", {}, false},
    };
    std::vector<int> sites;
    for (const auto& c : cases) {
        SCOPED_TRACE(sites.size());
        RefusingDeltaIO store;
        Load(store, blob);
        FaultyRuntime runtime;
        c.arrange(runtime, store);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta), c.code);
        Chain expected = c.inner;
        for (const std::wstring& line :
             {ErrorPrefix(c.code, kGenerateFile, c.message), ErrorPrefix(c.code, kApply, Target()),
              ErrorPrefix(c.code, kApply), ErrorPrefix(c.code, kApply, Target())})
            expected.push_back(line);
        const Chain texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, expected));
        if (c.ownSite)
            sites.push_back(texts.size() > c.inner.size() ? LineNumberOf(texts[c.inner.size()]) : -1);
        EXPECT_LE(runtime.Calls(RuntimeCall::Write), 1);
        EXPECT_EQ(dir.ReadFile(L"target.bin"), old);
        EXPECT_EQ(dir.Entries(), 1u);
    }
    EXPECT_EQ(std::set<int>(sites.begin(), sites.end()).size(), sites.size());
}

// The three-path form makes (truncates) the new file first and leaves in it what was written:
// all of it when the SHA-1 value (the blob's last bytes) does not match, nothing when the one
// write call of this small file fails; a new file that cannot be opened stays as it was.
TEST_F(ApplyFileDeltaFailureTest, ARebuiltFileHoldsWhatWasWrittenBeforeTheFailure)
{
    const std::wstring newPath = dir.Path(L"new.bin");
    const std::string longer(5000, 'x');
    std::string wrongSha1 = blob;
    wrongSha1.back() ^= 1;
    auto apply = [&](const std::string& bytes, std::function<void(FaultyRuntime&)> arrange, int code,
                     const std::string& left, Chain chain, const std::wstring& message = L"") {
        dir.WriteFile(L"new.bin", longer);
        MemoryDeltaIO store;
        Load(store, bytes);
        FileDelta delta(&store);
        FaultyRuntime runtime;
        arrange(runtime);
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, newPath), code);
        if (code != RESULT_OK) {
            chain.push_back(ErrorPrefix(code, kGenerateFile, message));
            chain.push_back(ErrorPrefix(code, kApply, Target()));
        }
        EXPECT_TRUE(IsErrorChain(capture.Texts(), chain));
        EXPECT_EQ(dir.ReadFile(L"target.bin"), old);
        EXPECT_EQ(dir.ReadFile(L"new.bin"), left);
    };
    auto nothing = [](FaultyRuntime&) {};
    apply(blob, nothing, RESULT_OK, now, {kEnd});
    apply(wrongSha1, nothing, RESULT_FAILED, now, {kEnd});
    apply(blob, [](FaultyRuntime& r) { r.FailCall(RuntimeCall::Write, ENOSPC); }, RESULT_WRITE_ENOSPC, "",
          {});
    apply(
        blob, [&](FaultyRuntime& r) { r.FailOpenOf(Target(), ENOENT); }, RESULT_FAILED, "", {}, Target());
    apply(
        blob, [&](FaultyRuntime& r) { r.FailOpenOf(newPath, EACCES); }, RESULT_FAILED, longer, {}, newPath);
}

// The caller's lock is taken once the new content is complete: refused, it leaves the target
// and the complete temporary; obtained, it replaces the target and stays with the caller.
TEST_F(ApplyFileDeltaFailureTest, TheCallersLockGuardsTheReplacement)
{
    FileLock mine;
    for (bool heldElsewhere : {true, false}) {
        FileLock other;
        ASSERT_TRUE(!heldElsewhere || other.Create(FileLock::Exclusive, Target().c_str()));
        MemoryDeltaIO store;
        Load(store, blob);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, &mine), heldElsewhere ? RESULT_FAILED : RESULT_OK);
        EXPECT_TRUE(IsErrorChain(
            capture.Texts(), heldElsewhere ? Chain{kEnd, ErrorPrefix(RESULT_FAILED, kApply)} : Chain{kEnd}));
        EXPECT_EQ(mine.IsHeld(), !heldElsewhere);
        EXPECT_EQ(dir.ReadFile(L"target.bin"), heldElsewhere ? old : now);
        EXPECT_EQ(dir.Exists(L"target.bin.dfttemp"), heldElsewhere);
    }
    FileLock other;
    EXPECT_FALSE(other.Create(FileLock::Exclusive, Target().c_str()));
    mine.Release();
    EXPECT_TRUE(other.Create(FileLock::Exclusive, Target().c_str()));
}

// A failed move falls back to a copy over the target; when the copy fails too, the target
// stays and the temporary goes, and the two-argument form adds its line naming the target.
TEST_F(ApplyFileDeltaFailureTest, AFailedMoveFallsBackToACopy)
{
    const std::wstring moveFailed = ErrorPrefix(
        RESULT_FAILED, kApply, L"file move failed. Windows error code: " + std::to_wstring(EXDEV));
    const std::wstring copyFailed = ErrorPrefix(
        RESULT_FAILED, kApply, L"file copy failed. Windows error code: " + std::to_wstring(ENOSPC));
    std::vector<int> sites; // of the move, copy and own lines of the failing cases
    for (const auto& [copyFails, withPath] : {std::pair{false, true}, {true, false}, {true, true}}) {
        SCOPED_TRACE(copyFails * 2 + withPath);
        dir.WriteFile(L"target.bin", old);
        FaultyKernel kernel;
        kernel.FailCall(KernelCall::MoveReplacing, EXDEV);
        if (copyFails)
            kernel.FailCall(KernelCall::CopyOver, ENOSPC);
        MemoryDeltaIO store;
        Load(store, blob);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(withPath ? engine.ApplyFileDelta(Target(), delta)
                           : engine.ApplyFileDelta(Target(), delta, nullptr),
                  copyFails ? RESULT_FAILED : RESULT_OK);
        Chain expected = {kEnd, moveFailed};
        if (copyFails)
            expected.push_back(copyFailed);
        if (copyFails && withPath)
            expected.push_back(ErrorPrefix(RESULT_FAILED, kApply, Target()));
        const Chain texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, expected));
        for (std::size_t i = 1; copyFails && i < texts.size(); ++i)
            sites.push_back(LineNumberOf(texts[i]));
        EXPECT_EQ(kernel.Calls(KernelCall::CopyOver), 1);
        EXPECT_EQ(dir.ReadFile(L"target.bin"), copyFails ? old : now);
        EXPECT_EQ(dir.Entries(), 1u);
    }
    ASSERT_EQ(sites.size(), 5u);
    EXPECT_NE(sites[0], sites[1]); // move and copy
    EXPECT_NE(sites[1], sites[4]); // copy and the two-argument form's own line
}

} // namespace
