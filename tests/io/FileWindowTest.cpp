#include <algorithm>
#include <cerrno>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileWindow.h>
#include <Vantrel/ResultCodes.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;
using KorrinTest::FaultyRuntime;
using KorrinTest::IsErrorChain;
using KorrinTest::LogCapture;
using KorrinTest::RuntimeCall;
using KorrinTest::Sha1Of;
using KorrinTest::TempDir;

_sha1_hash WindowDigest(const FileWindow& window)
{
    SHA1Digest digest;
    window.GetFileDigest(digest);
    _sha1_hash value;
    digest.GetDigest(value);
    return value;
}

// The line of a refusal by FileWindow's `operation`, quoting `path` when given.
std::wstring Refused(const std::wstring& operation, const std::wstring& path = L"")
{
    return KorrinTest::ErrorPrefix(RESULT_FAILED, L"FileWindow::" + operation, path);
}

std::uint32_t ReadCount(FileWindow& window)
{
    std::uint32_t count = 0xDEADBEEF;
    EXPECT_EQ(window.Read(count), RESULT_OK);
    return count;
}

class FileWindowTest : public ::testing::Test {
protected:
    std::wstring Make(const std::string& bytes, const std::wstring& name = L"file.bin")
    {
        dir.WriteFile(name, bytes);
        return dir.Path(name);
    }

    TempDir dir;
};

// The delta generator's walk: every step at most the count of the Read before it, which must
// show the file's own bytes at the window base, down to an empty window.
TEST_F(FileWindowTest, RandomWalksSeeEveryByteAndEndWithTheFilesSha1)
{
    std::mt19937 random(7);
    for (std::size_t size : {0u, 1u, 3u, 4u, 5u, 100u, 4095u, 4096u, 4097u, 65536u, 200003u}) {
        const std::string bytes = KorrinTest::PatternBytes(size, static_cast<std::uint32_t>(size));
        const std::wstring path = Make(bytes);
        for (std::uint32_t window : {1u, 2u, 4u, 17u, 1024u, 4096u, 70000u}) {
            FileWindow fw;
            ASSERT_EQ(fw.Open(path, window), RESULT_OK);
            std::int64_t base = 0;
            for (;;) {
                const std::uint32_t count = ReadCount(fw);
                const std::size_t left = size - static_cast<std::size_t>(base);
                ASSERT_EQ(count, std::min<std::size_t>(window, left))
                    << "size " << size << " window " << window;
                if (count == 0)
                    break;
                ASSERT_EQ(fw.GetWindowBase(), base);
                ASSERT_EQ(std::string(reinterpret_cast<const char*>(fw.Buffer()), count),
                          bytes.substr(static_cast<std::size_t>(base), count));
                ASSERT_EQ(fw.Get(count - 1), static_cast<unsigned char>(bytes[base + count - 1]));
                // Mostly single steps, as while searching, with whole windows now and then.
                const std::uint32_t step =
                    random() % 4 == 0 ? count : 1 + static_cast<std::uint32_t>(random() % count);
                ASSERT_EQ(fw.Move(step), RESULT_OK);
                base += step;
            }
            ASSERT_EQ(fw.Close(), RESULT_OK);
            EXPECT_EQ(WindowDigest(fw), Sha1Of(bytes)) << "size " << size << " window " << window;
        }
    }
}

// The worked examples: the count each Read answers after each move, down to the end.
TEST_F(FileWindowTest, WorkedExamples)
{
    auto counts = [](FileWindow& fw, std::vector<std::uint32_t> moves) {
        std::vector<std::uint32_t> out = {ReadCount(fw)};
        for (std::uint32_t move : moves) {
            EXPECT_EQ(fw.Move(move), RESULT_OK);
            out.push_back(ReadCount(fw));
        }
        return out;
    };
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make("abcde"), 4), RESULT_OK);
    EXPECT_EQ(counts(fw, {1, 1, 1, 1, 1}), (std::vector<std::uint32_t>{4, 4, 3, 2, 1, 0}));
    EXPECT_EQ(fw.GetWindowBase(), 5);
    ASSERT_EQ(fw.Close(), RESULT_OK);

    ASSERT_EQ(fw.Open(Make("abcdefghij"), 4), RESULT_OK);
    EXPECT_EQ(counts(fw, {4, 4}), (std::vector<std::uint32_t>{4, 4, 2}));
    // A short window still has W bytes of buffer behind it: the file's bytes, then stale ones.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fw.Buffer()), 2), "ij");
    EXPECT_EQ(counts(fw, {2}), (std::vector<std::uint32_t>{2, 0}));
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(WindowDigest(fw), Sha1Of("abcdefghij"));
}

// A zero window reads nothing from the file, so the digest is that of no bytes.
TEST_F(FileWindowTest, AZeroWindowReadsNothing)
{
    FaultyRuntime runtime;
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make("not read"), 0), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 0u);
    EXPECT_EQ(runtime.Calls(RuntimeCall::Read), 0);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(WindowDigest(fw), Sha1Of(""));
}

// Files outgrow the window's buffer here, whatever its size, so that reads refill it.
TEST_F(FileWindowTest, MovingPastTheBufferedBytesSeeksAndSkipsThemInTheDigest)
{
    const std::string bytes = KorrinTest::PatternBytes(3u << 20, 3);
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make(bytes), 4), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 4u);
    const std::uint32_t buffered = fw.Buffered();
    ASSERT_LT(buffered, bytes.size() - 100);
    ASSERT_EQ(fw.Move(buffered + 50), RESULT_OK);
    EXPECT_EQ(fw.GetWindowBase(), buffered + 50);
    EXPECT_EQ(ReadCount(fw), 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fw.Buffer()), 4), bytes.substr(buffered + 50, 4));
    while (ReadCount(fw) > 0)
        ASSERT_EQ(fw.Move(fw.Buffered()), RESULT_OK);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(WindowDigest(fw), Sha1Of(bytes.substr(0, buffered) + bytes.substr(buffered + 50)));
}

TEST_F(FileWindowTest, MisuseFailsWithTheFunctionsLogLine)
{
    const std::wstring path = Make("abcdef");
    LogCapture capture;
    FileWindow fw;
    std::uint32_t count = 99;
    EXPECT_EQ(fw.Read(count), RESULT_FAILED);
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(fw.Move(1), RESULT_FAILED);
    EXPECT_EQ(fw.Close(), RESULT_FAILED);

    ASSERT_EQ(fw.Open(path, 4), RESULT_OK);
    EXPECT_EQ(fw.Open(path, 4), RESULT_FAILED);
    EXPECT_EQ(fw.Move(0), RESULT_FAILED);
    // The open file survived both refusals.
    EXPECT_EQ(ReadCount(fw), 4u);
    EXPECT_EQ(fw.GetWindowBase(), 0);
    EXPECT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(fw.Close(), RESULT_FAILED);

    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Read"), Refused(L"Move"), Refused(L"Close"),
                                               Refused(L"Open"), Refused(L"Move"), Refused(L"Close")}));
}

TEST_F(FileWindowTest, MissingFileAndOversizedWindowLeaveTheWindowClosed)
{
    LogCapture capture;
    FileWindow fw;
    const std::wstring missing = dir.Path(L"missing.bin");
    EXPECT_EQ(fw.Open(missing, 4), RESULT_FAILED);
    EXPECT_EQ(fw.Open(Make("abc"), 0x80000000u), RESULT_FAILED);
    EXPECT_EQ(fw.Close(), RESULT_FAILED);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Open", missing),
                                               Refused(L"Open", dir.Path(L"file.bin")), Refused(L"Close")}));

    // And it can be opened afterwards, starting from the beginning.
    ASSERT_EQ(fw.Open(dir.Path(L"file.bin"), 2), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 2u);
}

TEST_F(FileWindowTest, ReopeningStartsAFreshDigestAtOffsetZero)
{
    const std::wstring first = Make("first file", L"a.bin");
    const std::wstring second = Make("second", L"b.bin");
    FileWindow fw;
    ASSERT_EQ(fw.Open(first, 3), RESULT_OK);
    ReadCount(fw);
    fw.Move(3);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    ASSERT_EQ(fw.Open(second, 3), RESULT_OK);
    EXPECT_EQ(fw.GetWindowBase(), 0);
    while (ReadCount(fw) > 0)
        fw.Move(1);
    ASSERT_EQ(fw.Close(), RESULT_OK);
    EXPECT_EQ(WindowDigest(fw), Sha1Of("second"));
}

TEST_F(FileWindowTest, AFailedReadFailsOnlyWhenNothingIsBuffered)
{
    const std::string bytes = KorrinTest::PatternBytes(3u << 20, 5);
    const std::wstring path = Make(bytes);
    LogCapture capture;
    FaultyRuntime runtime;

    FileWindow fw;
    ASSERT_EQ(fw.Open(path, 8), RESULT_OK);
    runtime.FailCall(RuntimeCall::Read, EIO);
    std::uint32_t count = 0;
    EXPECT_EQ(fw.Read(count), RESULT_FAILED);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Read")}));

    // With bytes buffered, a failing refill serves what is there.
    EXPECT_EQ(ReadCount(fw), 8u);
    const std::uint32_t moved = fw.Buffered() - 6;
    ASSERT_EQ(fw.Move(moved), RESULT_OK);
    runtime.FailCall(RuntimeCall::Read, EIO);
    EXPECT_EQ(ReadCount(fw), 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fw.Buffer()), 6), bytes.substr(moved, 6));
    ASSERT_EQ(fw.Move(1), RESULT_OK);
    EXPECT_EQ(ReadCount(fw), 8u); // the next refill works again
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fw.Buffer()), 8), bytes.substr(moved + 1, 8));
    EXPECT_EQ(capture.Texts().size(), 1u);
}

TEST_F(FileWindowTest, AFailedSeekFailsTheMoveWithTheBaseAdvanced)
{
    LogCapture capture;
    FaultyRuntime runtime;
    FileWindow fw;
    ASSERT_EQ(fw.Open(Make(KorrinTest::PatternBytes(3u << 20, 9)), 4), RESULT_OK);
    ReadCount(fw);
    const std::uint32_t beyond = fw.Buffered() + 20;
    runtime.FailCall(RuntimeCall::Seek, EINVAL);
    EXPECT_EQ(fw.Move(beyond), RESULT_FAILED);
    EXPECT_EQ(fw.GetWindowBase(), beyond);
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {Refused(L"Move")}));
}

TEST_F(FileWindowTest, DestructorClosesAnOpenFileOnce)
{
    FaultyRuntime runtime;
    {
        FileWindow fw;
        ASSERT_EQ(fw.Open(Make("abc"), 2), RESULT_OK);
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Open), 1);
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
}

} // namespace
