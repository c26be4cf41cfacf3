#include <cerrno>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MD5Digest.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/Rcheck32Digest.h>
#include <Vantrel/ResultCodes.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Call;
using KorrinTest::ErrorPrefix;
using KorrinTest::FaultyRuntime;
using KorrinTest::IsErrorChain;
using KorrinTest::LineNumberOf;
using KorrinTest::LogCapture;
using KorrinTest::RefusingDigestIO;
using KorrinTest::RuntimeCall;
using KorrinTest::Sha1Of;
using KorrinTest::TempDir;

const std::wstring kFunction = L"Halvorn::Vantrel::Korrin::GenerateFileDigest";

struct Block {
    std::uint32_t checksum;
    _md5_hash md5;
};

Block BlockOf(const std::string& bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto length = static_cast<std::uint32_t>(bytes.size());
    Rcheck32Digest checksum;
    checksum.Start(data, length);
    MD5Digest md5;
    md5.Append(data, length);
    md5.Finish();
    Block block;
    checksum.GetDigest(block.checksum);
    md5.GetDigest(block.md5);
    return block;
}

class GenerateFileDigestTest : public ::testing::Test {
protected:
    // Signs `bytes` with window `window` and checks the whole signature against them.
    void ExpectSignatureOf(const std::string& bytes, std::uint32_t window)
    {
        dir.WriteFile(L"old.bin", bytes);
        const std::wstring path = dir.Path(L"old.bin");
        std::filesystem::last_write_time(dir.NativePath(L"old.bin"),
                                         std::filesystem::file_time_type::clock::now() -
                                             std::chrono::hours(50));
        MemoryDigestIO store;
        store.WriteVersion(1);
        FileDigest digest(&store);
        Korrin engine;
        engine.SetWindowSize(window);
        ASSERT_EQ(engine.GenerateFileDigest(path, digest), RESULT_OK);

        std::uint32_t version = 0, storedWindow = 0;
        std::uint64_t size = 1;
        std::int64_t time = 0;
        store.ReadVersion(version);
        store.ReadWindowSize(storedWindow);
        store.ReadFileSize(size);
        store.ReadFileModifiedTime(time);
        EXPECT_EQ(version, 1u) << "the version is the caller's";
        EXPECT_EQ(storedWindow, window);
        EXPECT_EQ(size, bytes.size());
        const std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        EXPECT_NEAR(static_cast<double>(time), static_cast<double>(now - 50 * 3600), 5.0);

        SHA1Digest sha1;
        ASSERT_EQ(digest.GetFileDigest(sha1), RESULT_OK);
        _sha1_hash value;
        sha1.GetDigest(value);
        EXPECT_EQ(value, Sha1Of(bytes));

        // ceil(size / W) blocks; block i is bytes i*W onwards, found under its own checksum
        // and MD5 (a block repeated earlier in the file is found under the earlier index).
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
            const Block block = BlockOf(piece);
            bool found = false;
            std::uint32_t index = 0;
            store.Find(block.checksum, block.md5, found, index);
            ASSERT_TRUE(found) << "block " << i;
            EXPECT_EQ(bytes.substr(index * window, window), piece);
            EXPECT_LE(index, i);
        }
    }

    TempDir dir;
};

TEST_F(GenerateFileDigestTest, FilesOfWholeAndPartialBlocks)
{
    std::mt19937 random(3);
    std::string bytes(3 * 1024 + 100, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random());
    ExpectSignatureOf("", 4);
    ExpectSignatureOf(bytes.substr(0, 3 * 1024), 1024); // k*W: ends on a read of 0 bytes
    ExpectSignatureOf(bytes, 1024);                     // k*W + r: a short last block
    ExpectSignatureOf(bytes, 1);
    ExpectSignatureOf(bytes, 5000);                 // one block shorter than the window
    ExpectSignatureOf(std::string(4096, 'z'), 512); // every block equal: one group
}

TEST_F(GenerateFileDigestTest, WorkedExample)
{
    ExpectSignatureOf("abcdefghij", 4); // blocks 0 "abcd", 1 "efgh", 2 "ij"
    // The short last block is checksummed over its two bytes: A = 105 + 106, B = 105 + 211.
    MemoryDigestIO store;
    FileDigest digest(&store);
    Korrin engine;
    engine.SetWindowSize(4);
    ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);
    DigestMap table;
    store.ReadDigest(table);
    ASSERT_EQ(table.count(0x013C00D3u), 1u);
    EXPECT_EQ(table.at(0x013C00D3u)[0].blockIndices, std::vector<std::uint32_t>{2});
}

// A new engine's window is 0. A missing file, and windows of 0 and of 2^31 or more, are
// refused with the path before anything is written.
TEST_F(GenerateFileDigestTest, MissingFileAndUnusableWindowSizesWriteNothing)
{
    LogCapture capture;
    RefusingDigestIO store; // counts block writes
    FileDigest digest(&store);
    Korrin engine;
    dir.WriteFile(L"old.bin", "abcdefghij");
    EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_FAILED);
    for (std::uint32_t window : {0x80000000u, 0xFFFFFFFFu}) {
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_FAILED);
    }
    engine.SetWindowSize(4);
    const std::wstring missing = dir.Path(L"missing.bin");
    EXPECT_EQ(engine.GenerateFileDigest(missing, digest), RESULT_FAILED);

    EXPECT_EQ(store.Calls(Call::Record), 0);
    EXPECT_EQ(store.GetDigestSize(), 49u);
    std::uint64_t size = 0;
    store.ReadFileSize(size);
    EXPECT_EQ(size, 0u);
    const std::wstring refused = ErrorPrefix(RESULT_FAILED, kFunction, dir.Path(L"old.bin"));
    EXPECT_TRUE(IsErrorChain(capture.Texts(),
                             {refused, refused, refused, ErrorPrefix(RESULT_FAILED, kFunction, missing)}));
}

// Each refusal of the store and each failing file call: the store's code (or 32768) from a
// site of its own, the blocks before it kept, and the file closed on the way out.
TEST_F(GenerateFileDigestTest, EachFailureIsReportedFromItsOwnSiteWithTheStoresCode)
{
    dir.WriteFile(L"old.bin", KorrinTest::PatternBytes(100)); // seven blocks of 16, all different
    const std::wstring path = dir.Path(L"old.bin");
    Korrin engine;
    engine.SetWindowSize(16);
    std::vector<int> lines;
    // Expects `code` (quoting `message`), `calls` block writes of which all but a refused one
    // were kept, and `closes` closes.
    auto expectFailure = [&](RefusingDigestIO& store, FaultyRuntime& runtime, int code, int calls, int closes,
                             const std::wstring& message = L"", bool refusesBlocks = false) {
        FileDigest digest(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateFileDigest(path, digest), code);
        const std::vector<std::wstring> texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, {ErrorPrefix(code, kFunction, message)}));
        lines.push_back(texts.empty() ? -1 : LineNumberOf(texts[0]));
        EXPECT_EQ(store.Calls(Call::Record), calls);
        const int kept = refusesBlocks ? calls - 1 : calls;
        EXPECT_EQ(store.GetDigestSize(), 49u + 25u * kept);
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), closes);
    };
    const struct {
        Call call;
        int nth;
        int calls;
    } refusals[] = {
        {Call::Window, 1, 0}, {Call::Size, 1, 0}, {Call::Time, 1, 0},
        {Call::Record, 3, 3}, {Call::Sha1, 1, 7}, // every block came before the SHA-1 value
        {Call::Finish, 1, 7},
    };
    int code = 100;
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(code);
        RefusingDigestIO store;
        store.Refuse(refusal.call, refusal.nth);
        store.code = ++code;
        FaultyRuntime runtime;
        expectFailure(store, runtime, code, refusal.calls, 1, L"", refusal.call == Call::Record);
    }
    {
        // Reads come in chunks of whole blocks: a file of several chunks, whose second read fails,
        // keeps the blocks of the first.
        dir.WriteFile(L"large.bin", KorrinTest::PatternBytes(16u << 20, 2));
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Read, EIO, 2);
        RefusingDigestIO store;
        FileDigest digest(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"large.bin"), digest), RESULT_FAILED);
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {ErrorPrefix(RESULT_FAILED, kFunction)}));
        lines.push_back(LineNumberOf(capture.Texts().at(0)));
        EXPECT_GT(store.Calls(Call::Record), 0);
        EXPECT_LT(store.Calls(Call::Record), 1 << 20);
        EXPECT_EQ(store.GetDigestSize(), 49u + 25u * store.Calls(Call::Record));
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    }
    {
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Open, EACCES);
        RefusingDigestIO store;
        expectFailure(store, runtime, RESULT_FAILED, 0, 0, path);
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), lines.size());
}

} // namespace
