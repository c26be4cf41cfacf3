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

#include "support/FaultyRuntime.h"
#include "support/LogCapture.h"
#include "support/RefusingDigestIO.h"
#include "support/TempDir.h"
#include "support/Sha1Of.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::FaultyRuntime;
using KorrinTest::IsErrorLine;
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
    dir.WriteFile(L"old.bin", "abcdefghij");
    MemoryDigestIO store;
    FileDigest digest(&store);
    Korrin engine;
    engine.SetWindowSize(4);
    ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_OK);

    DigestMap table;
    store.ReadDigest(table);
    DigestMap expected;
    for (const auto& [index, piece] :
         std::vector<std::pair<std::uint32_t, std::string>>{{0, "abcd"}, {1, "efgh"}, {2, "ij"}}) {
        const Block block = BlockOf(piece);
        expected[block.checksum].push_back(DigestEntry{{index}, block.md5});
    }
    ASSERT_EQ(table.size(), expected.size());
    for (const auto& entry : expected) {
        ASSERT_EQ(table.count(entry.first), 1u);
        EXPECT_EQ(table.at(entry.first)[0].blockIndices, entry.second[0].blockIndices);
        EXPECT_EQ(table.at(entry.first)[0].md5, entry.second[0].md5);
    }
    // The short last block is checksummed over its two bytes: A = 105 + 106, B = 105 + 211.
    ASSERT_EQ(table.count(0x013C00D3u), 1u);
    EXPECT_EQ(table.at(0x013C00D3u)[0].blockIndices, std::vector<std::uint32_t>{2});
}

TEST_F(GenerateFileDigestTest, MissingFileAndUnusableWindowSizesWriteNothing)
{
    LogCapture capture;
    RefusingDigestIO store; // counts block writes
    FileDigest digest(&store);
    Korrin engine;
    engine.SetWindowSize(4);
    const std::wstring missing = dir.Path(L"missing.bin");
    EXPECT_EQ(engine.GenerateFileDigest(missing, digest), RESULT_FAILED);

    dir.WriteFile(L"old.bin", "abcdefghij");
    for (std::uint32_t window : {0u, 0x80000000u, 0xFFFFFFFFu}) {
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), RESULT_FAILED);
    }
    EXPECT_EQ(store.writeDigestCalls, 0);
    EXPECT_EQ(store.GetDigestSize(), 49u);
    std::uint64_t size = 0;
    store.ReadFileSize(size);
    EXPECT_EQ(size, 0u);

    const auto texts = capture.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_TRUE(IsErrorLine(texts[0], L"Error 32768 \"" + missing + L"\" at func: " + kFunction));
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(
            IsErrorLine(texts[i], L"Error 32768 \"" + dir.Path(L"old.bin") + L"\" at func: " + kFunction));
}

TEST_F(GenerateFileDigestTest, AStoreRefusingTheThirdBlockKeepsWhatCameBefore)
{
    dir.WriteFile(L"old.bin", "abcdefghijklmnop");
    RefusingDigestIO store;
    store.refuseWriteDigestFrom = 3;
    store.code = 555;
    FileDigest digest(&store);
    Korrin engine;
    engine.SetWindowSize(4);
    FaultyRuntime runtime;
    LogCapture capture;
    EXPECT_EQ(engine.GenerateFileDigest(dir.Path(L"old.bin"), digest), 555);
    EXPECT_EQ(store.writeDigestCalls, 3);
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_TRUE(IsErrorLine(capture.Texts()[0], L"Error 555 at func: " + kFunction));

    std::uint32_t window = 0;
    std::uint64_t size = 0;
    store.ReadWindowSize(window);
    store.ReadFileSize(size);
    EXPECT_EQ(window, 4u);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(store.GetDigestSize(), 49u + 2 * 25);
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1) << "the file is closed on the way out";
}

TEST_F(GenerateFileDigestTest, EachFailureIsReportedFromItsOwnSiteWithTheStoresCode)
{
    dir.WriteFile(L"old.bin", std::string(100, 'q'));
    const std::wstring path = dir.Path(L"old.bin");
    Korrin engine;
    engine.SetWindowSize(16);
    std::vector<int> lines;
    auto expectFailure = [&](RefusingDigestIO& store, int code) {
        FileDigest digest(&store);
        LogCapture capture;
        EXPECT_EQ(engine.GenerateFileDigest(path, digest), code);
        ASSERT_EQ(capture.Texts().size(), 1u);
        const std::wstring text = capture.Texts()[0];
        EXPECT_TRUE(IsErrorLine(text, L"Error " + std::to_wstring(code) + L" at func: " + kFunction)) << text;
        lines.push_back(std::stoi(text.substr(text.rfind(L' ') + 1)));
    };
    {
        RefusingDigestIO store;
        store.refuseWindowSize = 1;
        expectFailure(store, 7);
    }
    {
        RefusingDigestIO store;
        store.refuseFileSize = 1;
        expectFailure(store, 7);
    }
    {
        RefusingDigestIO store;
        store.refuseModifiedTime = 1;
        expectFailure(store, 7);
    }
    {
        RefusingDigestIO store;
        store.refuseFileDigest = 1;
        expectFailure(store, 7);
        EXPECT_EQ(store.writeDigestCalls, 7) << "every block came before the SHA-1 value";
    }
    {
        RefusingDigestIO store;
        store.refuseFinish = 1;
        expectFailure(store, 7);
    }
    {
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Read, EIO, 3);
        RefusingDigestIO store;
        expectFailure(store, RESULT_FAILED);
        EXPECT_EQ(store.writeDigestCalls, 2);
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    }
    {
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Open, EACCES);
        RefusingDigestIO store;
        LogCapture capture;
        FileDigest digest(&store);
        EXPECT_EQ(engine.GenerateFileDigest(path, digest), RESULT_FAILED);
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_TRUE(IsErrorLine(capture.Texts()[0], L"Error 32768 \"" + path + L"\" at func: " + kFunction));
        lines.push_back(std::stoi(capture.Texts()[0].substr(capture.Texts()[0].rfind(L' ') + 1)));
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), lines.size());
}

} // namespace
