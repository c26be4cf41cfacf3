#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace KorrinTest;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;

Halvorn::Vantrel::SHA1Digest WindowDigest(const FileWindow& window)
{
    Halvorn::Vantrel::SHA1Digest digest;
    window.GetFileDigest(digest);
    return digest;
}

// The line of a refusal by FileWindow's `operation`, quoting `path` when given.
std::wstring Refused(const std::wstring& operation, const std::wstring& path = L"")
{
    return ErrorPrefix(RESULT_FAILED, L"FileWindow::" + operation, path);
}

std::uint32_t ReadCount(FileWindow& window)
{
    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(window.Read(count), RESULT_OK);
    return count;
}

std::string Shown(FileWindow& window, std::uint32_t count)
{
    return std::string(reinterpret_cast<const char*>(window.Buffer()), count);
}

struct FileWindowTest : ::testing::Test {
    std::wstring Make(const std::string& bytes) { return dir.Put(L"file.bin", bytes); }
    TempDir dir;
};

// The delta generator's walk: every step at most the count of the Read before it, which must
// show the file's own bytes at the window base, down to an empty window.
TEST_F(FileWindowTest, RandomWalksSeeEveryByteAndEndWithTheFilesSha1)
{
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 3u, 4u, 5u, 100u, 4095u, 4096u, 4097u, 65536u, 200003u}) {
        const std::string bytes = PatternBytes(size, static_cast<std::uint32_t>(size));
        const std::wstring path = Make(bytes);
        for (std::uint32_t window : {1u, 2u, 4u, 17u, 1024u, 4096u, 70000u}) {
            FileWindow fw;
            ASSERT_EQ(fw.Open(path, window), RESULT_OK);
            for (std::size_t base = 0;;) {
                const std::uint32_t count = ReadCount(fw);
                ASSERT_EQ(count, std::min<std::size_t>(window, size - base))
                    << "size " << size << " window " << window;
                if (count == 0)
                    break;
                ASSERT_EQ(fw.GetWindowBase(), static_cast<std::int64_t>(base));
                ASSERT_EQ(Shown(fw, count), bytes.substr(base, count));
                ASSERT_EQ(fw.Get(count - 1), static_cast<unsigned char>(bytes[base + count - 1]));
                // Mostly single steps, as while searching, with whole windows now and then.
                const std::uint32_t step =
                    random() % 4 == 0 ? count : 1 + static_cast<std::uint32_t>(random() % count);
                ASSERT_EQ(fw.Move(step), RESULT_OK);
                base += step;
            }
            ASSERT_EQ(fw.Close(), RESULT_OK);
            EXPECT_TRUE(WindowDigest(fw) == FinishedSha1(bytes)) << "size " << size << " window " << window;
        }
    }
}

// The buffer follows the file, not the window: a window of 2^31 - 1 bytes over four of them,
// or over no file at all, takes little memory; windows of 3 MiB grow the buffer to them.
TEST_F(FileWindowTest, TheBufferFollowsTheFileNotTheWindow)
{
    RefuseAllocationsFrom limit(64u << 20);
    FileWindow fw;
    EXPECT_EQ(fw.Open(dir.Path(L"missing.bin"), 0x7FFFFFFFu), RESULT_FAILED);
    ASSERT_EQ(fw.Open(Make("tiny"), 0x7FFFFFFFu), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 4u);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    const std::string bytes = PatternBytes(7u << 20, 9);
    ASSERT_EQ(fw.Open(Make(bytes), 3u << 20), RESULT_OK);
    for (std::size_t base = 0; ReadCount(fw) > 0; base += 1u << 20) {
        const std::uint32_t count = ReadCount(fw);
        ASSERT_EQ(count, std::min<std::size_t>(3u << 20, bytes.size() - base));
        ASSERT_TRUE(Shown(fw, count) == bytes.substr(base, count));
        ASSERT_EQ(fw.Move(1u << 20), RESULT_OK);
    }
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_TRUE(WindowDigest(fw) == FinishedSha1(bytes));
}

// Files outgrow the window's buffer here, whatever its size, so that reads refill it.
TEST_F(FileWindowTest, MovingPastTheBufferedBytesSeeksAndSkipsThemInTheDigest)
{
    const std::string bytes = PatternBytes(3u << 20, 3);
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make(bytes), 4), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 4u);
    const std::uint32_t buffered = fw.Buffered();
    ASSERT_LT(buffered, bytes.size() - 100);
    ASSERT_EQ(fw.Move(buffered + 50), RESULT_OK);
    EXPECT_EQ(fw.GetWindowBase(), buffered + 50);
    EXPECT_EQ(ReadCount(fw), 4u);
    EXPECT_EQ(Shown(fw, 4), bytes.substr(buffered + 50, 4));
    while (ReadCount(fw) > 0)
        ASSERT_EQ(fw.Move(fw.Buffered()), RESULT_OK);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_TRUE(WindowDigest(fw) == FinishedSha1(bytes.substr(0, buffered) + bytes.substr(buffered + 50)));
}

// Calls on a closed window, a second Open, a move of 0, a missing file and a window of 2^31
// each fail with the function's line and leave the window as it was; it opens afterwards.
// Reopened, it starts a fresh digest at offset 0; a zero window reads nothing from the file, so
// its digest is that of no bytes.
TEST_F(FileWindowTest, MisuseFailsWithTheFunctionsLogLineAndReopeningStartsAfresh)
{
    const std::wstring path = Make("abcdef");
    const std::wstring missing = dir.Path(L"missing.bin");
    LogCapture capture;
    FileWindow fw;
    std::uint32_t count = 99;
    EXPECT_EQ(fw.Read(count), RESULT_FAILED);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(fw.Move(1), RESULT_FAILED);
    EXPECT_EQ(fw.Close(), RESULT_FAILED);
    EXPECT_EQ(fw.Open(missing, 4), RESULT_FAILED);
    EXPECT_EQ(fw.Open(path, 0x80000000u), RESULT_FAILED);
    ASSERT_EQ(fw.Open(path, 4), RESULT_OK);
    EXPECT_EQ(fw.Open(path, 4), RESULT_FAILED);
    EXPECT_EQ(fw.Move(0), RESULT_FAILED);
    EXPECT_EQ(ReadCount(fw), 4u);
    EXPECT_EQ(fw.GetWindowBase(), 0);
    EXPECT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(fw.Close(), RESULT_FAILED);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Read"), Refused(L"Move"), Refused(L"Close"),
                                               Refused(L"Open", missing), Refused(L"Open", path),
                                               Refused(L"Open"), Refused(L"Move"), Refused(L"Close")}));
    for (const std::uint32_t window : {3u, 0u}) {
        FaultyRuntime runtime; // counts the reads
        ASSERT_EQ(fw.Open(dir.Put(L"b.bin", "second"), window), RESULT_OK);
        EXPECT_EQ(fw.GetWindowBase(), 0);
        while (ReadCount(fw) > 0)
            fw.Move(1);
        ASSERT_EQ(fw.Close(), RESULT_OK);
        EXPECT_TRUE(WindowDigest(fw) == FinishedSha1(window != 0 ? "second" : ""));
        EXPECT_EQ(runtime.Calls(RuntimeCall::Read) == 0, window == 0);
    }
}

// A failed read fails Read even with bytes buffered, since a short window would pass for the
// end of the file; the next Read goes on where it stood. A failed seek fails the move, with
// the base advanced.
TEST_F(FileWindowTest, AFailedCallFailsOnlyWhatNeedsIt)
{
    const std::string bytes = PatternBytes(3u << 20, 5);
    LogCapture capture;
    FaultyRuntime runtime;
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make(bytes), 8), RESULT_OK);
    runtime.FailCall(RuntimeCall::Read, EIO);
    std::uint32_t count = 0;
    EXPECT_EQ(fw.Read(count), RESULT_FAILED);
    EXPECT_EQ(ReadCount(fw), 8u);
    const std::uint32_t moved = fw.Buffered() - 6;
    ASSERT_EQ(fw.Move(moved), RESULT_OK);
    // What is buffered is served, and the next read takes up where the failed one stood.
    runtime.FailCall(RuntimeCall::Read, EIO);
    EXPECT_EQ(ReadCount(fw), 6u);
    EXPECT_EQ(Shown(fw, 6), bytes.substr(moved, 6));
    ASSERT_EQ(fw.Move(1), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 8u);
    EXPECT_EQ(Shown(fw, 8), bytes.substr(moved + 1, 8));

    const std::int64_t beyond = fw.GetWindowBase() + fw.Buffered() + 20;
    runtime.FailCall(RuntimeCall::Seek, EINVAL);
    EXPECT_EQ(fw.Move(fw.Buffered() + 20), RESULT_FAILED);
    EXPECT_EQ(fw.GetWindowBase(), beyond);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Read"), Refused(L"Move")}));
}

} // namespace
