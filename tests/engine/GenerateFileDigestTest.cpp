#include <cerrno>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateFileDigest";

class GenerateFileDigestTest : public ::testing::Test {
protected:
    // Signs `bytes` with window `window` and checks the whole signature against the definition:
    // the caller's version, the file's size, time (in seconds since 1970) and SHA-1, and block i
    // for bytes i*W onwards under their own checksum and MD5. Answers its groups.
    std::vector<std::tuple<std::uint32_t, std::vector<std::uint32_t>, _md5_hash>>
    ExpectSignatureOf(const std::string& bytes, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", bytes);
        const auto clock = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(dir.NativePath(L"old.bin"), clock - std::chrono::hours(50));
        MemoryDigestIO store;
        store.WriteVersion(7);
        FileDigest digest(&store);
        Korrin engine;
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const std::int64_t time = PropertiesOf(store).time;
        EXPECT_NEAR(double(time),
                    double(std::chrono::duration_cast<std::chrono::seconds>(now).count() - 50 * 3600), 5.0);
        EXPECT_EQ(PropertiesOf(store), (DeltaProperties{7, window, bytes.size(), time, Sha1Of(bytes)}));
        MemoryDigestIO expected;
        for (std::size_t at = 0; at < bytes.size(); at += window) {
            const auto* data = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
            const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(window, bytes.size() - at));
            Rcheck32Digest checksum;
            checksum.Start(data, length);
            MD5Digest md5;
            md5.Append(data, length);
            md5.Finish();
            std::uint32_t weak = 0;
            _md5_hash strong;
            checksum.GetDigest(weak);
            md5.GetDigest(strong);
            expected.WriteDigest(static_cast<std::uint32_t>(at / window), weak, strong);
        }
        EXPECT_EQ(GroupsOf(store), GroupsOf(expected));
        return GroupsOf(store);
    }

    TempDir dir;
};

TEST_F(GenerateFileDigestTest, FilesOfWholeAndPartialBlocks)
{
    const std::string bytes = PatternBytes(3 * 1024 + 100, 3);
    ExpectSignatureOf("", 4);
    ExpectSignatureOf(bytes.substr(0, 3 * 1024), 1024); // k*W: ends on a read of 0 bytes
    ExpectSignatureOf(bytes, 1024);                     // k*W + r: a short last block
    ExpectSignatureOf(bytes, 1);
    ExpectSignatureOf(bytes, 5000);                 // one block shorter than the window
    ExpectSignatureOf(std::string(4096, 'z'), 512); // every block equal: one group
    // Blocks "abcd", "efgh" and "ij": the short last block is checksummed over its two bytes,
    // A = 105 + 106, B = 105 + 211.
    EXPECT_EQ(std::get<0>(ExpectSignatureOf("abcdefghij", 4).at(0)), 0x013C00D3u);
}

// A new engine's window is 0. Windows of 0 and of 2^31 or more, and a missing file, are
// refused with the path before anything is written.
TEST_F(GenerateFileDigestTest, MissingFileAndUnusableWindowSizesWriteNothing)
{
    LogCapture capture;
    RefusingDigestIO store; // counts block writes
    FileDigest digest(&store);
    Korrin engine;
    dir.WriteFile(L"old.bin", "abcdefghij");
    const std::wstring missing = dir.Path(L"missing.bin");
    for (std::uint32_t window : {0u, 0x80000000u, 0xFFFFFFFFu, 4u}) {
        if (window != 0)
            engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(window == 4 ? missing : dir.Path(L"old.bin"), digest),
                  RESULT_FAILED);
    }
    EXPECT_EQ(store.Calls(Call::Record), 0);
    EXPECT_EQ(PropertiesOf(store), (DeltaProperties{0, 0, 0, 0, {}}));
    const std::wstring refused = ErrorPrefix(RESULT_FAILED, kFunction, dir.Path(L"old.bin"));
    EXPECT_TRUE(IsErrorChain(capture.Texts(),
                             {refused, refused, refused, ErrorPrefix(RESULT_FAILED, kFunction, missing)}));
}

// Each refusal of the store and each failing file call: the store's code (or 32768) from a site
// of its own, the blocks before it kept, and the file closed on the way out.
TEST_F(GenerateFileDigestTest, EachFailureIsReportedFromItsOwnSiteWithTheStoresCode)
{
    dir.WriteFile(L"small.bin", PatternBytes(100)); // seven blocks of 16, all different
    // Reads come in chunks of whole blocks: when the second read of a file of several chunks
    // fails, the blocks of the first stay.
    dir.WriteFile(L"large.bin", PatternBytes(16u << 20, 2));
    const struct {
        Call refuse;
        int nth; // 0: the store refuses nothing
        RuntimeCall fail;
        int failNth; // 0: no call fails
        const wchar_t* file;
        int calls; // block writes; -1 for some, but not all
    } cases[] = {
        {Call::Window, 1, RuntimeCall::Read, 0, L"small.bin", 0},
        {Call::Size, 1, RuntimeCall::Read, 0, L"small.bin", 0},
        {Call::Time, 1, RuntimeCall::Read, 0, L"small.bin", 0},
        {Call::Record, 3, RuntimeCall::Read, 0, L"small.bin", 3},
        {Call::Sha1, 1, RuntimeCall::Read, 0, L"small.bin", 7}, // every block came before the SHA-1 value
        {Call::Finish, 1, RuntimeCall::Read, 0, L"small.bin", 7},
        {Call::Record, 0, RuntimeCall::Read, 2, L"large.bin", -1},
        {Call::Record, 0, RuntimeCall::Open, 1, L"small.bin", 0},
    };
    Korrin engine;
    engine.SetWindowSize(16);
    std::set<int> sites;
    int code = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(code);
        RefusingDigestIO store;
        if (c.nth != 0)
            store.Refuse(c.refuse, c.nth);
        store.code = ++code;
        FaultyRuntime runtime;
        if (c.failNth != 0)
            runtime.FailCall(c.fail, EACCES, c.failNth);
        const bool opened = c.fail != RuntimeCall::Open;
        const int expected = c.nth != 0 ? code : RESULT_FAILED;
        FileDigest digest(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(c.file), digest), expected);
        EXPECT_TRUE(IsErrorChain(capture.Texts(),
                                 {ErrorPrefix(expected, kFunction, opened ? L"" : dir.Path(c.file))}));
        sites.insert(capture.Texts().empty() ? -1 : LineNumberOf(capture.Texts()[0]));
        const int calls = store.Calls(Call::Record);
        if (c.calls >= 0) {
            EXPECT_EQ(calls, c.calls);
        } else {
            EXPECT_GT(calls, 0);
            EXPECT_LT(calls, 1 << 20);
        }
        EXPECT_EQ(store.GetDigestSize(), 49u + 25u * (calls - (c.nth != 0 && c.refuse == Call::Record)));
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), opened ? 1 : 0);
    }
    EXPECT_EQ(sites.size(), std::size(cases));
}

} // namespace
