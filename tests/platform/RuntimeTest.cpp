// The runtime binding as the engine reaches it, through CurrentRuntime().
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Runtime.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using Halvorn::Platform::CurrentRuntime;
using Halvorn::Platform::FileStatus;
using Halvorn::Platform::NativeRuntime;
using Halvorn::Platform::OpenMode;
using Halvorn::Platform::Runtime;
using KorrinTest::PatternBytes;
using KorrinTest::TempDir;

// Wraps the runtime's descriptor so that a failing assertion does not leak it.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor()
    {
        if (descriptor_ >= 0)
            NativeRuntime().Close(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return descriptor_; }
    int Close()
    {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return CurrentRuntime().Close(descriptor);
    }

private:
    int descriptor_;
};

void ExpectErrno(int expected)
{
    if (expected != 0) {
        EXPECT_EQ(expected, errno);
    }
}

// Every way of opening a path by name fails; with a nonzero expected value, errno says why.
void ExpectNothingOpens(Runtime& runtime, const std::wstring& path, int expectedErrno)
{
    FileStatus status;
    errno = 0;
    EXPECT_EQ(-1, runtime.Stat(path, status));
    ExpectErrno(expectedErrno);
    for (OpenMode mode : {OpenMode::Read, OpenMode::ReadSequential}) {
        errno = 0;
        EXPECT_EQ(-1, runtime.Open(path, mode));
        ExpectErrno(expectedErrno);
    }
    errno = 0;
    EXPECT_EQ(nullptr, runtime.OpenStream(path));
    ExpectErrno(expectedErrno);
}

class RuntimeTest : public ::testing::Test {
protected:
    Runtime& runtime = CurrentRuntime();
    TempDir dir;
};

TEST_F(RuntimeTest, StatGivesSizeAndModificationTime)
{
    dir.WriteFile(L"a.bin", PatternBytes(1234));
    FileStatus status;
    ASSERT_EQ(0, runtime.Stat(dir.Path(L"a.bin"), status));
    EXPECT_EQ(1234u, status.size);
    // Just written, so modified about now, in seconds since 1970.
    EXPECT_NEAR(static_cast<double>(std::time(nullptr)), static_cast<double>(status.modifiedTime), 60.0);

    // The modification time, not another of the file's times, and in whole seconds.
    const auto written = std::filesystem::last_write_time(dir.NativePath(L"a.bin"));
    std::filesystem::last_write_time(dir.NativePath(L"a.bin"), written - std::chrono::hours(240));
    FileStatus earlier;
    ASSERT_EQ(0, runtime.Stat(dir.Path(L"a.bin"), earlier));
    EXPECT_EQ(240 * 3600, status.modifiedTime - earlier.modifiedTime);
}

TEST_F(RuntimeTest, WriteCreateMakesMissingFileAndTruncatesLongerFile)
{
    dir.WriteFile(L"old.bin", "0123456789");
    for (const wchar_t* name : {L"new.bin", L"old.bin"}) {
        Descriptor file(runtime.Open(dir.Path(name), OpenMode::WriteCreate));
        ASSERT_GE(file.Get(), 0);
        EXPECT_EQ(2, runtime.Write(file.Get(), "ab", 2));
        EXPECT_EQ(0, file.Close());
        EXPECT_EQ("ab", dir.ReadFile(name));
    }
}

TEST_F(RuntimeTest, WrongDescriptorsAndNegativeOffsetsFail)
{
    dir.WriteFile(L"a.bin", "abc");
    Descriptor reading(runtime.Open(dir.Path(L"a.bin"), OpenMode::Read));
    ASSERT_GE(reading.Get(), 0);
    errno = 0;
    EXPECT_EQ(-1, runtime.Write(reading.Get(), "x", 1));
    EXPECT_EQ(EBADF, errno);

    char byte;
    errno = 0;
    EXPECT_EQ(-1, runtime.Read(-1, &byte, 1));
    EXPECT_EQ(EBADF, errno);
    errno = 0;
    EXPECT_EQ(-1, runtime.Seek(reading.Get(), -1));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ("abc", dir.ReadFile(L"a.bin"));
}

TEST_F(RuntimeTest, WriteAndReadBackAtSeekedOffsetsToTheEnd)
{
    const std::int64_t offset = 3 * 1024 * 1024 + 7;
    const std::string tail = PatternBytes(100);
    {
        Descriptor file(runtime.Open(dir.Path(L"big.bin"), OpenMode::WriteCreate));
        ASSERT_GE(file.Get(), 0);
        ASSERT_EQ(offset, runtime.Seek(file.Get(), offset));
        ASSERT_EQ(100, runtime.Write(file.Get(), tail.data(), 100));
        ASSERT_EQ(0, file.Close());
    }
    const std::string content = dir.ReadFile(L"big.bin");
    ASSERT_EQ(static_cast<std::size_t>(offset) + 100, content.size());
    EXPECT_EQ(tail, content.substr(static_cast<std::size_t>(offset)));
    EXPECT_EQ(std::string(16, '\0'), content.substr(static_cast<std::size_t>(offset) - 16, 16));

    // Reading past the end gives what is left, then nothing.
    Descriptor file(runtime.Open(dir.Path(L"big.bin"), OpenMode::ReadSequential));
    ASSERT_GE(file.Get(), 0);
    ASSERT_EQ(offset + 10, runtime.Seek(file.Get(), offset + 10));
    std::string buffer(8192, '\0');
    ASSERT_EQ(90, runtime.Read(file.Get(), &buffer[0], 8192));
    EXPECT_EQ(tail.substr(10), buffer.substr(0, 90));
    EXPECT_EQ(0, runtime.Read(file.Get(), &buffer[0], 8192));
}

TEST_F(RuntimeTest, StreamReadsTheBytesThenEnds)
{
    const std::string bytes = PatternBytes(10000);
    dir.WriteFile(L"a.bin", bytes);
    std::FILE* stream = runtime.OpenStream(dir.Path(L"a.bin"));
    ASSERT_NE(nullptr, stream);
    std::string read;
    char chunk[3000];
    std::size_t got;
    while ((got = runtime.ReadStream(chunk, 1, sizeof chunk, stream)) > 0)
        read.append(chunk, got);
    EXPECT_EQ(bytes, read);
    EXPECT_EQ(0u, runtime.ReadStream(chunk, 1, sizeof chunk, stream));
    EXPECT_EQ(0, runtime.CloseStream(stream));
}

TEST_F(RuntimeTest, NonAsciiPathNamesTheFileOnDisk)
{
    const std::wstring name = L"\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin";
    Descriptor file(runtime.Open(dir.Path(name), OpenMode::WriteCreate));
    ASSERT_GE(file.Get(), 0);
    ASSERT_EQ(4, runtime.Write(file.Get(), "data", 4));
    ASSERT_EQ(0, file.Close());

    // Spelled independently of the library's conversion.
    const auto onDisk = dir.Root() / std::filesystem::u8path(u8"\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin");
    EXPECT_EQ("data", TempDir::Read(onDisk));

    FileStatus status;
    ASSERT_EQ(0, runtime.Stat(dir.Path(name), status));
    EXPECT_EQ(4u, status.size);
    std::FILE* stream = runtime.OpenStream(dir.Path(name));
    ASSERT_NE(nullptr, stream);
    char buffer[8];
    EXPECT_EQ(4u, runtime.ReadStream(buffer, 1, sizeof buffer, stream));
    EXPECT_EQ(0, runtime.CloseStream(stream));
}

// A missing file and a name no file can have fail alike; an embedded zero does not cut the
// path short to a file that exists. An expected errno of 0 means any.
TEST_F(RuntimeTest, PathsNamingNoFileFailToOpen)
{
    std::wstring unencodable = L"bad-";
    unencodable += static_cast<wchar_t>(0xD800);
    dir.WriteFile(L"a", "abc");
    const struct {
        const char* what;
        std::wstring name;
        int expectedErrno;
    } cases[] = {
        {"missing", L"missing.bin", ENOENT},
        {"unencodable", unencodable, ENOENT},
        {"embedded zero", std::wstring(L"a\0b", 3), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExpectNothingOpens(runtime, dir.Path(c.name), c.expectedErrno);
    }
    EXPECT_EQ(1u, dir.Entries());
}

} // namespace
