// Every way the engine's operations fail, in one table of operation and fault: the code that
// comes back, the chain of report lines from the innermost out, each failure's own report
// site, how far the operation got, what is left on disk, and no file left open.
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "Vantrel/FileLock.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Chain = std::vector<std::wstring>;

const std::wstring kEngine = L"Halvorn::Vantrel::Korrin::";
const std::wstring kApply = kEngine + L"ApplyFileDelta";
const std::wstring kGenerateFile = L"Halvorn::Vantrel::FileDelta::GenerateFile";
// The store's own line when the instructions run out, logged by every complete rebuild.
const std::wstring kEnd = ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::MemoryDeltaIO::ReadDelta");

// Signing old.bin; the delta of new.bin against the signature of "abcd" (window 4); new.bin
// whole; rebuilding old.bin into new.bin; applying in place to old.bin, without and with the
// caller's lock.
enum class Op { Sign, Delta, Whole, Rebuild, InPlace, Locked };

// What an operation meets: the signature store (written by signing, read by delta
// generation), the delta store (written by delta generation, read by applying), the runtime,
// the kernel, and for the lock another holder.
struct Rig {
    FaultyRuntime runtime;
    FaultyKernel kernel;
    RefusingDigestIO signature;
    RefusingDeltaIO delta;
    FileLock other;
    std::uint32_t window = 16; // for signing
};
using Fault = std::function<void(Rig&)>;

Fault RefuseSignature(Call call, int code, int nth = 1)
{
    return [=](Rig& r) { r.signature.Refuse(call, code, nth); };
}
Fault RefuseDelta(Call call, int code, int nth = 1)
{
    return [=](Rig& r) { r.delta.Refuse(call, code, nth); };
}
Fault Failing(RuntimeCall call, int error, int nth = 1)
{
    return [=](Rig& r) { r.runtime.FailCall(call, error, nth); };
}
const Fault kNone = [](Rig&) {};

class EngineFailureTest : public ::testing::Test {
protected:
    EngineFailureTest()
        : old(PatternBytes(1500, 3)), now(old.substr(0, 200) + "patched in" + old.substr(260) + "tail"),
          blob(MakeDeltaBlob(dir, old, now, 64))
    {
    }

    struct Case {
        Op op;
        Fault fault;
        int code;
        // How far the operation got: calls to the store it writes, the refused one included
        // (signing and delta generation), or the bytes of the new file in new.bin (-1: what
        // it held before) or the files in the directory (applying).
        int done;
        std::wstring message = L""; // of the operation's own innermost line
        Chain inner = {};           // the lines before it
        std::string input = "";     // the file signed or described, when not the default
        bool ownSite = true;        // false: the site of the case before
    };

    // The lines the operation logs itself when it fails with `code`, innermost first.
    Chain OwnLines(Op op, int code, const std::wstring& message) const
    {
        const std::wstring target = Path(L"old.bin");
        const std::wstring functions[] = {L"GenerateFileDigest", L"GenerateFileDelta",
                                          L"GenerateDeltaForWholeFile"};
        if (op <= Op::Whole)
            return {ErrorPrefix(code, kEngine + functions[int(op)], message)};
        if (op == Op::Locked)
            return {ErrorPrefix(code, kApply, message)};
        Chain lines = {ErrorPrefix(code, kGenerateFile, message), ErrorPrefix(code, kApply, target)};
        if (op == Op::InPlace)
            lines.insert(lines.end(), {ErrorPrefix(code, kApply), ErrorPrefix(code, kApply, target)});
        return lines;
    }

    // Runs every case in a fresh directory, and expects the sites of the cases of each
    // operation that have their own to be distinct.
    void Expect(const std::vector<Case>& cases)
    {
        std::map<Op, std::vector<std::wstring>> sites;
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "case " << &c - cases.data());
            for (const auto& entry : std::filesystem::directory_iterator(dir.Root()))
                std::filesystem::remove_all(entry.path());
            Rig rig;
            FileLock mine;
            std::vector<LogLine> lines;
            EXPECT_EQ(Run(c, rig, mine, lines), c.code);
            Chain expected = c.inner, texts;
            if (c.code != RESULT_OK)
                for (const std::wstring& line : OwnLines(c.op, c.code, c.message))
                    expected.push_back(line);
            for (const LogLine& line : lines) { // the library's logger, as errors
                EXPECT_TRUE(line.logger == L"tervasso.korrin" && line.severity == -1) << line.text;
                texts.push_back(line.text);
            }
            EXPECT_TRUE(IsErrorChain(texts, expected));
            const std::wstring site = texts.size() > c.inner.size() ? texts[c.inner.size()] : L"none";
            if (c.ownSite && c.code != RESULT_OK)
                sites[c.op].push_back(site.substr(site.find(L"at func: ") + 1));
            EXPECT_EQ(rig.runtime.Held(), 0) << "a file was left open";
            EXPECT_EQ(mine.IsHeld(), c.op == Op::Locked && c.done != 2) << "the lock stays with the caller";
            mine.Release(); // the locks' companion files go
            rig.other.Release();
            ExpectLeft(c, rig);
        }
        for (const auto& [op, list] : sites)
            EXPECT_EQ(std::set<std::wstring>(list.begin(), list.end()).size(), list.size()) << int(op);
    }

    std::wstring Path(const wchar_t* name) const { return dir.Path(name); }

    TempDir dir;
    const std::string old;
    const std::string now;
    const std::string blob;

private:
    // Makes the files and stores the case's operation starts from, sets the fault up and runs
    // the operation, with the lines it logs in `lines`.
    int Run(const Case& c, Rig& rig, FileLock& mine, std::vector<LogLine>& lines)
    {
        Korrin engine;
        FileDigest signature(&rig.signature);
        FileDelta delta(&rig.delta);
        dir.Put(L"old.bin", c.op == Op::Sign    ? (c.input.empty() ? PatternBytes(100) : c.input)
                            : c.op == Op::Delta ? "abcd"
                                                : old);
        if (c.op == Op::Delta) {
            engine.SetWindowSize(4);
            signature.SetVersion(1);
            EXPECT_EQ(engine.GenerateFileDigest(Path(L"old.bin"), signature), RESULT_OK);
        }
        const std::string newFile = c.op == Op::Whole ? PatternBytes(70000) : std::string(5000, 'x');
        if (c.op <= Op::Rebuild)
            dir.Put(L"new.bin", c.op == Op::Delta ? (c.input.empty() ? "Xabcd" : c.input) : newFile);
        if (c.op >= Op::Rebuild) {
            EXPECT_EQ(FromBlob(rig.delta, blob), RESULT_OK);
        }
        c.fault(rig);
        engine.SetWindowSize(c.op == Op::Sign ? rig.window : 4);
        LogCapture capture;
        const int code = [&] {
            switch (c.op) {
            case Op::Sign:
                return engine.GenerateFileDigest(Path(L"old.bin"), signature);
            case Op::Delta:
                return engine.GenerateFileDelta(Path(L"new.bin"), signature, delta);
            case Op::Whole:
                return engine.GenerateDeltaForWholeFile(Path(L"new.bin"), delta);
            case Op::Rebuild:
                return engine.ApplyFileDelta(Path(L"old.bin"), delta, Path(L"new.bin"));
            case Op::InPlace:
                return engine.ApplyFileDelta(Path(L"old.bin"), delta);
            default:
                return engine.ApplyFileDelta(Path(L"old.bin"), delta, &mine);
            }
        }();
        lines = capture.Lines();
        return code;
    }

    void ExpectLeft(const Case& c, Rig& rig) const
    {
        const int calls = c.op == Op::Sign ? rig.signature.Calls() : rig.delta.Calls();
        switch (c.op) {
        case Op::Sign:
        case Op::Delta:
        case Op::Whole:
            if (c.done >= 0)
                EXPECT_EQ(calls, c.done);
            else // some blocks, but not all
                EXPECT_TRUE(calls > 3 && calls < 3 + int(c.input.size() / 16)) << calls;
            return;
        case Op::Rebuild:
            EXPECT_TRUE(dir.ReadFile(L"new.bin") ==
                        (c.done < 0 ? std::string(5000, 'x') : now.substr(0, c.done)));
            break;
        case Op::InPlace:
        case Op::Locked:
            EXPECT_EQ(dir.Entries(), std::size_t(c.done));
            EXPECT_EQ(dir.Exists(L"old.bin.dfttemp"), c.done == 2) << "the complete content stays beside";
            break;
        }
        // Reads and writes go a mebibyte at a time: one write call is enough for this file.
        EXPECT_LE(rig.runtime.Calls(RuntimeCall::Write), 1);
        EXPECT_TRUE(dir.ReadFile(L"old.bin") == (c.code == RESULT_OK && c.op != Op::Rebuild ? now : old));
    }
};

// Signing: windows of 0 and from 2^31 on and a file that cannot be examined are refused
// before anything is written; a store's refusal stops it there, with the store's code; a read
// that fails past the first chunks (of whole blocks, 64 KiB) keeps the blocks before it: the
// 40th, while the file's SHA-1 runs on a second thread. The old file has seven blocks of 16
// bytes.
TEST_F(EngineFailureTest, Signing)
{
    auto window = [](std::uint32_t w) { return [=](Rig& r) { r.window = w; }; };
    const std::wstring path = Path(L"old.bin");
    Expect({
        {Op::Sign, window(0), RESULT_FAILED, 0, path},
        {Op::Sign, window(0x80000000u), RESULT_FAILED, 0, path, {}, "", false},
        {Op::Sign, window(0xFFFFFFFFu), RESULT_FAILED, 0, path, {}, "", false},
        {Op::Sign, [&](Rig& r) { r.runtime.FailOpenOf(path, ENOENT); }, RESULT_FAILED, 0, path},
        {Op::Sign, Failing(RuntimeCall::Open, EACCES), RESULT_FAILED, 0, path},
        {Op::Sign, RefuseSignature(Call::Window, 101), 101, 1},
        {Op::Sign, RefuseSignature(Call::Size, 102), 102, 2},
        {Op::Sign, RefuseSignature(Call::Time, 103), 103, 3},
        {Op::Sign, RefuseSignature(Call::Record, 104, 3), 104, 6},
        {Op::Sign, RefuseSignature(Call::Sha1, 105), 105, 11}, // after every block
        {Op::Sign, RefuseSignature(Call::Finish, 106), 106, 12},
        {Op::Sign, Failing(RuntimeCall::Read, EIO, 40), RESULT_FAILED, -1, L"", {}, PatternBytes(4 << 20, 2)},
    });
}

// Delta generation: a refusal of either store stops it there, with the store's code; so does
// a window of 0 in a signature of a file that has bytes. The second instruction of each new
// file is made at a site of its own: a literal before a copy, a copy, a full literal run, the
// run at the end. A store derived from the library's own is asked for its lookups.
TEST_F(EngineFailureTest, DeltaGeneration)
{
    const std::wstring path = Path(L"new.bin");
    const Chain opening = {ErrorPrefix(RESULT_FAILED, L"FileWindow::Open", path)};
    const Chain reading = {ErrorPrefix(RESULT_FAILED, L"FileWindow::Read")};
    Expect({
        {Op::Delta, RefuseSignature(Call::Version, 201), 201, 0},
        {Op::Delta, RefuseSignature(Call::Window, 202), 202, 1},
        {Op::Delta, RefuseSignature(Call::Lookup, 203), 203, 4},
        {Op::Delta, RefuseSignature(Call::BlockLookup, 204), 204, 4},
        {Op::Delta, RefuseDelta(Call::Version, 205), 205, 1},
        {Op::Delta, RefuseDelta(Call::Window, 206), 206, 2},
        {Op::Delta, RefuseDelta(Call::Size, 207), 207, 3},
        {Op::Delta, RefuseDelta(Call::Time, 208), 208, 4},
        {Op::Delta, RefuseDelta(Call::Sha1, 209), 209, 7}, // after both instructions
        {Op::Delta, RefuseDelta(Call::Finish, 210), 210, 8},
        {Op::Delta, RefuseDelta(Call::Record, 211, 2), 211, 6, L"", {}, "abcdXabcd"},
        {Op::Delta, RefuseDelta(Call::Record, 212, 2), 212, 6},
        {Op::Delta, RefuseDelta(Call::Record, 213, 2), 213, 6, L"", {}, "zzzzzzzzzz"},
        {Op::Delta, RefuseDelta(Call::Record, 214, 2), 214, 6, L"", {}, "abcdXY"},
        {Op::Delta, [](Rig& r) { r.signature.WriteWindowSize(0); }, RESULT_FAILED, 4, path},
        {Op::Delta, [&](Rig& r) { r.runtime.FailOpenOf(path, ENOENT); }, RESULT_FAILED, 0, path},
        {Op::Delta, Failing(RuntimeCall::Open, EACCES), RESULT_FAILED, 4, path, opening},
        {Op::Delta, Failing(RuntimeCall::Read, EIO), RESULT_FAILED, 4, L"", reading},
    });
}

// The whole file as literals of 65535 bytes: a file that cannot be opened is named; a refusal
// of the second literal, the SHA-1 value (after the literals) or Finish (after the SHA-1 value).
TEST_F(EngineFailureTest, WholeFileDeltas)
{
    const std::wstring path = Path(L"new.bin");
    Expect({
        {Op::Whole, [&](Rig& r) { r.runtime.FailOpenOf(path, ENOENT); }, RESULT_FAILED, 0, path},
        {Op::Whole, RefuseDelta(Call::Record, 301, 2), 301, 2},
        {Op::Whole, RefuseDelta(Call::Sha1, 302), 302, 3},
        {Op::Whole, RefuseDelta(Call::Finish, 303), 303, 4},
    });
}

// Rebuilding and applying in place. The rebuild reports from a site of its own for each
// failure (quoting a file it cannot open), then each layer of the application adds its line.
// A new file is made (truncated) first and keeps what was written: all of it when the SHA-1
// value does not match, nothing when the one write call fails; one that cannot be opened stays
// as it was. In place, the target stays as it was and nothing is left beside it. A failed write
// gives its errno's code.
TEST_F(EngineFailureTest, Applying)
{
    const Fault wrongVersion = [](Rig& r) { r.delta.WriteVersion(2); };
    const Fault wrongSha1 = [](Rig& r) {
        _sha1_hash sha1;
        r.delta.ReadFileDigest(sha1);
        sha1.bytes[19] ^= 1;
        r.delta.WriteFileDigest(sha1);
    };
    auto failOpen = [&](const wchar_t* name, int error) {
        return [=](Rig& r) { r.runtime.FailOpenOf(Path(name), error); };
    };
    const int all = static_cast<int>(now.size());
    const std::wstring target = Path(L"old.bin");
    const std::wstring temporary = Path(L"old.bin.dfttemp");
    const Chain unread = {kEnd, ErrorPrefix(406, L"Halvorn::Vantrel::FileDelta::GetFileDigest")};
    Expect({
        {Op::Rebuild, kNone, RESULT_OK, all, L"", {kEnd}},
        {Op::Rebuild, wrongSha1, RESULT_FAILED, all, L"", {kEnd}},
        {Op::Rebuild, Failing(RuntimeCall::Write, ENOSPC), RESULT_WRITE_ENOSPC, 0},
        {Op::Rebuild, failOpen(L"old.bin", ENOENT), RESULT_FAILED, 0, target},
        {Op::Rebuild, failOpen(L"new.bin", EACCES), RESULT_FAILED, -1, Path(L"new.bin")},

        {Op::InPlace, failOpen(L"old.bin.dfttemp", EACCES), RESULT_FAILED, 1, temporary},
        {Op::InPlace, failOpen(L"old.bin", EACCES), RESULT_FAILED, 1, target},
        {Op::InPlace, RefuseDelta(Call::Version, 401), 401, 1},
        {Op::InPlace, RefuseDelta(Call::Window, 402), 402, 1},
        {Op::InPlace, RefuseDelta(Call::Size, 403), 403, 1},
        {Op::InPlace, RefuseDelta(Call::Time, 404), 404, 1},
        {Op::InPlace, RefuseDelta(Call::ReadRecord, 405, 3), 405, 1},
        {Op::InPlace, RefuseDelta(Call::Sha1, 406), 406, 1, L"", unread},
        {Op::InPlace, wrongVersion, RESULT_FAILED, 1},
        {Op::InPlace, wrongSha1, RESULT_FAILED, 1, L"", {kEnd}},
        {Op::InPlace, Failing(RuntimeCall::Read, EIO), RESULT_FAILED, 1},
        {Op::InPlace, Failing(RuntimeCall::Write, EIO), RESULT_FAILED, 1},
        {Op::InPlace, Failing(RuntimeCall::Write, EBADF), RESULT_WRITE_EBADF, 1, L"", {}, "", false},
        {Op::InPlace, Failing(RuntimeCall::Write, EINVAL), RESULT_WRITE_EINVAL, 1, L"", {}, "", false},
        {Op::InPlace, Failing(RuntimeCall::Write, ENOSPC), RESULT_WRITE_ENOSPC, 1, L"", {}, "", false},
    });
}

// Past the first mebibyte a rebuild's SHA-1 runs on a second thread: a write that fails there
// (the ninth; no write is larger than a mebibyte) still gives its own code, and leaves a part
// of the new file that goes past that mebibyte.
TEST_F(EngineFailureTest, AWriteFailingInALargeRebuild)
{
    const std::string large = PatternBytes(3u << 20, 8);
    const std::string changed = "a new start" + large.substr(100);
    const std::string largeBlob = MakeDeltaBlob(dir, large, changed, 2048);
    dir.Put(L"old.bin", large);
    Rig rig;
    ASSERT_EQ(FromBlob(rig.delta, largeBlob), RESULT_OK);
    rig.runtime.FailCall(RuntimeCall::Write, ENOSPC, 9);
    FileDelta delta(&rig.delta);
    LogCapture capture;
    EXPECT_EQ(Korrin().ApplyFileDelta(Path(L"old.bin"), delta, Path(L"new.bin")), RESULT_WRITE_ENOSPC);
    const std::string left = dir.ReadFile(L"new.bin");
    EXPECT_GT(left.size(), 1u << 20);
    EXPECT_TRUE(left == changed.substr(0, left.size()));
}

// Once the new content is complete, the caller's lock is taken: refused, the target stays and
// the complete temporary stays beside it; obtained, it stays with the caller. A failed move
// falls back to a copy over the target; when that fails too, the target stays and the
// temporary goes.
TEST_F(EngineFailureTest, ReplacingTheTarget)
{
    const Fault heldElsewhere = [&](Rig& r) {
        ASSERT_TRUE(r.other.Create(FileLock::Exclusive, Path(L"old.bin").c_str()));
    };
    auto failing = [](std::vector<KernelCall> calls) {
        return [=](Rig& r) {
            for (KernelCall call : calls)
                r.kernel.FailCall(call, EXDEV);
        };
    };
    const std::wstring error = L" failed. Windows error code: " + std::to_wstring(EXDEV);
    const Chain moveFailed = {kEnd, ErrorPrefix(RESULT_FAILED, kApply, L"file move" + error)};
    Expect({
        {Op::Locked, kNone, RESULT_OK, 1, L"", {kEnd}},
        {Op::Locked, heldElsewhere, RESULT_FAILED, 2, L"", {kEnd}},
        {Op::Locked, failing({KernelCall::MoveReplacing}), RESULT_OK, 1, L"", moveFailed},
        {Op::Locked, failing({KernelCall::MoveReplacing, KernelCall::CopyOver}), RESULT_FAILED, 1,
         L"file copy" + error, moveFailed},
    });
}

// A directory named where a file is read is refused at the open, with its path in the line,
// as a file that cannot be opened is, by every operation that takes a path.
TEST_F(EngineFailureTest, ADirectoryIsRefusedWhereItIsOpened)
{
    std::filesystem::create_directory(dir.NativePath(L"folder"));
    const std::wstring folder = Path(L"folder");
    Korrin engine;
    engine.SetWindowSize(4);
    MemoryDigestIO signatureStore, digestOut;
    signatureStore.WriteWindowSize(4); // of a file with blocks, so that the window opens
    signatureStore.WriteFileSize(10);
    MemoryDeltaIO deltaStore, deltaOut;
    ASSERT_EQ(FromBlob(deltaStore, blob), RESULT_OK);
    FileDigest signature(&signatureStore), toDigest(&digestOut);
    FileDelta delta(&deltaStore), toDelta(&deltaOut);
    DeltaFileReader reader;
    const std::function<int()> operations[] = {
        [&] { return engine.GenerateFileDigest(folder, toDigest); },
        [&] { return engine.GenerateFileDelta(folder, signature, toDelta); },
        [&] { return engine.GenerateDeltaForWholeFile(folder, toDelta); },
        [&] { return engine.ApplyFileDelta(folder, delta, Path(L"new.bin")); },
        [&] { return reader.Open(folder); },
        [&] { return ReadDigestFile(folder, signatureStore); },
    };
    for (const auto& operation : operations) {
        SCOPED_TRACE(&operation - operations);
        LogCapture capture;
        EXPECT_EQ(operation(), RESULT_FAILED);
        EXPECT_NE(capture.Texts().at(0).find(L"\"" + folder + L"\""), std::wstring::npos);
    }
}

} // namespace
