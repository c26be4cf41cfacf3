// Every way rebuilding and in-place application can fail: the code, the chain of report lines
// from the innermost out, and what is left on disk.
#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "platform/FileLock.h"
#include "support/Deltas.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Call;
using KorrinTest::ErrorPrefix;
using KorrinTest::FaultyKernel;
using KorrinTest::FaultyRuntime;
using KorrinTest::IsErrorChain;
using KorrinTest::KernelCall;
using KorrinTest::LineNumberOf;
using KorrinTest::LogCapture;
using KorrinTest::RuntimeCall;
using Chain = std::vector<std::wstring>;

const std::wstring kGenerateFile = L"Halvorn::Vantrel::FileDelta::GenerateFile";
const std::wstring kApply = L"Halvorn::Vantrel::Korrin::ApplyFileDelta";
// The store's own line when the instructions run out, logged by every complete rebuild.
const std::wstring kEnd = ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::MemoryDeltaIO::ReadDelta");

class ApplyFileDeltaFailureTest : public ::testing::Test {
protected:
    ApplyFileDeltaFailureTest()
        : old(KorrinTest::PatternBytes(1500, 3)),
          now(old.substr(0, 200) + "patched in" + old.substr(260) + "tail"),
          blob(KorrinTest::MakeDeltaBlob(dir, old, now, 64))
    {
        dir.WriteFile(L"target.bin", old);
    }

    // A fresh store holding the delta.
    void Load(MemoryDeltaIO& store) { ASSERT_EQ(KorrinTest::LoadDelta(store, blob), RESULT_OK); }

    std::wstring Target() const { return dir.Path(L"target.bin"); }

    // The target as it was, and nothing else left beside it.
    void ExpectTargetUntouched() const
    {
        EXPECT_EQ(dir.ReadFile(L"target.bin"), old);
        EXPECT_FALSE(dir.Exists(L"target.bin.dfttemp"));
        EXPECT_EQ(dir.Entries(), 1u);
    }

    // Applies `store` in place (two-argument form) and expects a failed rebuild: `code`
    // reported by the rebuild (quoting `message`) after the lines in `inner`, then by each
    // of the three application layers, and the target untouched. Notes the rebuild's line.
    void ExpectRebuildFailure(IDeltaIO& store, int code, const std::wstring& message = L"", Chain inner = {})
    {
        LogCapture capture;
        FileDelta delta(&store);
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta), code);
        const std::size_t site = inner.size();
        inner.push_back(ErrorPrefix(code, kGenerateFile, message));
        inner.push_back(ErrorPrefix(code, kApply, Target()));
        inner.push_back(ErrorPrefix(code, kApply));
        inner.push_back(ErrorPrefix(code, kApply, Target()));
        const Chain texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, inner));
        rebuildSites.push_back(texts.size() > site ? LineNumberOf(texts[site]) : -1);
        ExpectTargetUntouched();
    }

    // The store answers `code` to `read` (to the third instruction, for ReadRecord).
    void ExpectStoreFailure(Call read, int code, Chain inner = {})
    {
        SCOPED_TRACE(code);
        KorrinTest::RefusingDeltaIO store;
        Load(store);
        store.Refuse(read, read == Call::ReadRecord ? 3 : 1);
        store.code = code;
        ExpectRebuildFailure(store, code, L"", inner);
    }

    KorrinTest::TempDir dir;
    const std::string old;
    const std::string now;
    const std::string blob;
    Korrin engine;
    std::vector<int> rebuildSites;
};

TEST_F(ApplyFileDeltaFailureTest, EachRebuildFailureHasItsOwnSite)
{
    // A file that cannot be opened is named: the temporary first, then the target.
    for (const std::wstring& path : {Target() + L".dfttemp", Target()}) {
        FaultyRuntime runtime;
        runtime.FailOpenOf(path, EACCES);
        MemoryDeltaIO store;
        Load(store);
        ExpectRebuildFailure(store, RESULT_FAILED, path);
    }
    ExpectStoreFailure(Call::Version, 101);
    ExpectStoreFailure(Call::Window, 102);
    ExpectStoreFailure(Call::Size, 103);
    ExpectStoreFailure(Call::Time, 104);
    ExpectStoreFailure(Call::ReadRecord, 105); // the third instruction
    ExpectStoreFailure(Call::Sha1, 106,
                       {kEnd, ErrorPrefix(106, L"Halvorn::Vantrel::FileDelta::GetFileDigest")});
    {
        MemoryDeltaIO store;
        Load(store);
        store.WriteVersion(2);
        ExpectRebuildFailure(store, RESULT_FAILED);
    }
    {
        MemoryDeltaIO store;
        Load(store);
        _sha1_hash sha1;
        store.ReadFileDigest(sha1);
        sha1.bytes[19] ^= 1;
        store.WriteFileDigest(sha1);
        ExpectRebuildFailure(store, RESULT_FAILED, L"", {kEnd});
    }
    // Old blocks are read, and the new file written, a mebibyte at a time: for this small
    // file, the first call of each kind is the one.
    for (RuntimeCall call : {RuntimeCall::Read, RuntimeCall::Write}) {
        FaultyRuntime runtime;
        runtime.FailCall(call, EIO);
        MemoryDeltaIO store;
        Load(store);
        ExpectRebuildFailure(store, RESULT_FAILED);
    }
    EXPECT_EQ(std::set<int>(rebuildSites.begin(), rebuildSites.end()).size(), rebuildSites.size());
}

TEST_F(ApplyFileDeltaFailureTest, AFailedWriteGivesTheCodeOfItsErrno)
{
    const struct {
        int error;
        int code;
    } cases[] = {{EBADF, RESULT_WRITE_EBADF},
                 {EINVAL, RESULT_WRITE_EINVAL},
                 {ENOSPC, RESULT_WRITE_ENOSPC},
                 {EIO, RESULT_FAILED}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        // Rebuilding gathers its writes: this small file goes out in a single call.
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Write, c.error);
        MemoryDeltaIO store;
        Load(store);
        ExpectRebuildFailure(store, c.code);
        EXPECT_EQ(runtime.Calls(RuntimeCall::Write), 1);
    }
}

// The three-path form: the new file is made (truncated) first and keeps what was written.
TEST_F(ApplyFileDeltaFailureTest, ARebuiltFileHoldsWhatWasWrittenBeforeTheFailure)
{
    const std::wstring newPath = dir.Path(L"new.bin");
    const std::string longer(5000, 'x');
    auto apply = [&](const std::string& bytes, int code, const std::wstring& message = L"",
                     Chain inner = {}) {
        MemoryDeltaIO store;
        ASSERT_EQ(KorrinTest::LoadDelta(store, bytes), RESULT_OK);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, newPath), code);
        if (code != RESULT_OK) {
            inner.push_back(ErrorPrefix(code, kGenerateFile, message));
            inner.push_back(ErrorPrefix(code, kApply, Target()));
            EXPECT_TRUE(IsErrorChain(capture.Texts(), inner));
        }
        EXPECT_EQ(dir.ReadFile(L"target.bin"), old);
    };

    dir.WriteFile(L"new.bin", longer);
    apply(blob, RESULT_OK);
    EXPECT_EQ(dir.ReadFile(L"new.bin"), now);

    // A SHA-1 value (the blob's last bytes) other than that of the bytes written: they were
    // written in full before the check.
    dir.WriteFile(L"new.bin", longer);
    std::string wrongSha1 = blob;
    wrongSha1.back() ^= 1;
    apply(wrongSha1, RESULT_FAILED, L"", {kEnd});
    EXPECT_EQ(dir.ReadFile(L"new.bin"), now);

    // The one write call of this small file fails: the file was truncated and holds nothing.
    dir.WriteFile(L"new.bin", longer);
    {
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Write, ENOSPC);
        apply(blob, RESULT_WRITE_ENOSPC);
    }
    EXPECT_EQ(dir.ReadFile(L"new.bin"), "");

    std::filesystem::remove(dir.NativePath(L"new.bin"));
    {
        FaultyRuntime runtime;
        runtime.FailOpenOf(Target(), ENOENT);
        apply(blob, RESULT_FAILED, Target());
    }
    EXPECT_EQ(dir.ReadFile(L"new.bin"), "");

    std::filesystem::remove(dir.NativePath(L"new.bin"));
    {
        FaultyRuntime runtime;
        runtime.FailOpenOf(newPath, EACCES);
        apply(blob, RESULT_FAILED, newPath);
    }
    EXPECT_FALSE(dir.Exists(L"new.bin"));
}

// The caller's lock is taken once the new content is complete: refused, it leaves the target
// and the complete temporary; obtained, it replaces the target and stays with the caller.
TEST_F(ApplyFileDeltaFailureTest, TheCallersLockGuardsTheReplacement)
{
    FileLock mine;
    {
        FileLock other;
        ASSERT_TRUE(other.Create(FileLock::Exclusive, Target().c_str()));
        MemoryDeltaIO store;
        Load(store);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, &mine), RESULT_FAILED);
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {kEnd, ErrorPrefix(RESULT_FAILED, kApply)}));
        EXPECT_FALSE(mine.IsHeld());
        EXPECT_TRUE(other.IsHeld());
        EXPECT_EQ(dir.ReadFile(L"target.bin"), old);
        EXPECT_EQ(dir.ReadFile(L"target.bin.dfttemp"), now);
    }
    MemoryDeltaIO store;
    Load(store);
    FileDelta delta(&store);
    {
        LogCapture capture;
        EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, &mine), RESULT_OK);
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {kEnd}));
    }
    EXPECT_EQ(dir.ReadFile(L"target.bin"), now);
    EXPECT_FALSE(dir.Exists(L"target.bin.dfttemp"));
    EXPECT_TRUE(mine.IsHeld());
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
    const struct {
        bool copyFails;
        bool withPath;
    } cases[] = {{false, true}, {true, false}, {true, true}};
    std::vector<int> sites; // of the move, copy and own lines of the failing cases
    for (const auto& c : cases) {
        SCOPED_TRACE(c.copyFails * 2 + c.withPath);
        dir.WriteFile(L"target.bin", old);
        FaultyKernel kernel;
        kernel.FailCall(KernelCall::MoveReplacing, EXDEV);
        if (c.copyFails)
            kernel.FailCall(KernelCall::CopyOver, ENOSPC);
        MemoryDeltaIO store;
        Load(store);
        FileDelta delta(&store);
        LogCapture capture;
        const int code = c.copyFails ? RESULT_FAILED : RESULT_OK;
        Chain expected = {kEnd, moveFailed};
        if (c.copyFails)
            expected.push_back(copyFailed);
        if (c.withPath) {
            EXPECT_EQ(engine.ApplyFileDelta(Target(), delta), code);
            if (c.copyFails)
                expected.push_back(ErrorPrefix(RESULT_FAILED, kApply, Target()));
        } else {
            EXPECT_EQ(engine.ApplyFileDelta(Target(), delta, nullptr), code);
        }
        const Chain texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, expected));
        for (std::size_t i = 1; c.copyFails && i < texts.size(); ++i)
            sites.push_back(LineNumberOf(texts[i]));
        EXPECT_EQ(kernel.Calls(KernelCall::CopyOver), 1);
        EXPECT_EQ(dir.ReadFile(L"target.bin"), c.copyFails ? old : now);
        EXPECT_FALSE(dir.Exists(L"target.bin.dfttemp"));
        EXPECT_EQ(dir.Entries(), 1u);
    }
    ASSERT_EQ(sites.size(), 5u);
    EXPECT_NE(sites[0], sites[1]); // move and copy
    EXPECT_NE(sites[1], sites[4]); // copy and the two-argument form's own line
}

} // namespace
