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
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateFileDigest";

class GenerateFileDigestTest : public ::testing::Test {
protected:
    // Signs `bytes` with window `window` and checks the whole signature against them; answers
    // its table.
    DigestMap ExpectSignatureOf(const std::string& bytes, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", bytes);
        const auto fiftyHoursAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(50);
        std::filesystem::last_write_time(dir.NativePath(L"old.bin"), fiftyHoursAgo);
        MemoryDigestIO store;
        store.WriteVersion(7);
        FileDigest digest(&store);
        Korrin engine;
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);

        // The version is the caller's; the time is the file's, in seconds since 1970.
        DeltaProperties p = PropertiesOf(store);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        EXPECT_NEAR(double(p.time),
                    double(std::chrono::duration_cast<std::chrono::seconds>(now).count() - 50 * 3600), 5.0);
        EXPECT_EQ(p.sha1, Sha1Of(bytes));
        p.time = 0;
        EXPECT_EQ(p, (DeltaProperties{7, window, bytes.size(), 0, Sha1Of(bytes)}));

        // ceil(size / W) blocks; block i is bytes i*W onwards, found under its own checksum
        // and MD5 (a block repeated earlier in the file under the earlier index).
        const std::size_t blocks = (bytes.size() + window - 1) / window;
        DigestMap table;
        store.ReadDigest(table);
        std::size_t indices = 0;
        for (const auto& entry : table)
            for (const DigestEntry& group : entry.second)
                indices += group.blockIndices.size();
        EXPECT_EQ(indices, blocks);
        for (std::size_t i = 0; i < blocks; ++i) {
            const std::string piece = bytes.substr(i * window, window);
            const auto* data = reinterpret_cast<const unsigned char*>(piece.data());
            Rcheck32Digest checksum;
            checksum.Start(data, static_cast<std::uint32_t>(piece.size()));
            MD5Digest md5;
            md5.Append(data, static_cast<std::uint32_t>(piece.size()));
            md5.Finish();
            std::uint32_t weak = 0;
            _md5_hash strong;
            checksum.GetDigest(weak);
            md5.GetDigest(strong);
            bool found = false;
            std::uint32_t index = 0;
            store.Find(weak, strong, found, index);
            EXPECT_TRUE(found) << "block " << i;
            EXPECT_EQ(bytes.substr(index * window, window), piece);
            EXPECT_LE(index, i);
        }
        return table;
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
    const DigestMap table = ExpectSignatureOf("abcdefghij", 4);
    ASSERT_EQ(table.count(0x013C00D3u), 1u);
    EXPECT_EQ(table.at(0x013C00D3u)[0].blockIndices, std::vector<std::uint32_t>{2});
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
