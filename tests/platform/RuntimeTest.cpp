// The runtime binding as the engine reaches it, through CurrentRuntime(). What Stat and the
// streams answer is held in the engine's tests: signatures carry a file's size and time, and
// whole-file deltas are read through a stream.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "platform/Runtime.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Platform;
using KorrinTest::PatternBytes;
using KorrinTest::TempDir;

// Wraps the runtime's descriptor so that a failing assertion does not leak it.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return descriptor_; }
    int Close() { return descriptor_ < 0 ? 0 : CurrentRuntime().Close(std::exchange(descriptor_, -1)); }

private:
    int descriptor_;
};

class RuntimeTest : public ::testing::Test {
protected:
    Runtime& runtime = CurrentRuntime();
    TempDir dir;
};

// WriteCreate makes a missing file and truncates a longer one; a write lands at a seeked offset
// past the end, with zeros before it; reading goes from a seeked offset to the end, then gives
// nothing. Names outside ASCII are the names on disk, spelt independently of the library here.
TEST_F(RuntimeTest, WritesAndReadsLandWhereTheyShould)
{
    const std::wstring name = L"\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin";
    dir.WriteFile(L"old.bin", "0123456789");
    for (const std::wstring& target : {name, std::wstring(L"old.bin")}) {
        Descriptor file(runtime.Open(dir.Path(target), OpenMode::WriteCreate));
        ASSERT_GE(file.Get(), 0);
        EXPECT_EQ(2, runtime.Write(file.Get(), "ab", 2));
        EXPECT_EQ(0, file.Close());
        EXPECT_EQ("ab", dir.ReadFile(target));
    }
    EXPECT_EQ("ab", TempDir::Read(dir.Root() /
                                  std::filesystem::u8path(u8"\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin")));

    const std::int64_t offset = 3 * 1024 * 1024 + 7;
    const std::string tail = PatternBytes(100);
    {
        Descriptor file(runtime.Open(dir.Path(L"big.bin"), OpenMode::WriteCreate));
        ASSERT_EQ(offset, runtime.Seek(file.Get(), offset));
        ASSERT_EQ(100, runtime.Write(file.Get(), tail.data(), 100));
    }
    const std::string content = dir.ReadFile(L"big.bin");
    ASSERT_EQ(static_cast<std::size_t>(offset) + 100, content.size());
    EXPECT_EQ(tail, content.substr(static_cast<std::size_t>(offset)));
    EXPECT_EQ(std::string(16, '\0'), content.substr(static_cast<std::size_t>(offset) - 16, 16));
    Descriptor file(runtime.Open(dir.Path(L"big.bin"), OpenMode::ReadSequential));
    ASSERT_EQ(offset + 10, runtime.Seek(file.Get(), offset + 10));
    std::string buffer(8192, '\0');
    ASSERT_EQ(90, runtime.Read(file.Get(), &buffer[0], 8192));
    EXPECT_EQ(tail.substr(10), buffer.substr(0, 90));
    EXPECT_EQ(0, runtime.Read(file.Get(), &buffer[0], 8192));
}

// Wrong descriptors and negative offsets fail with their errno. A missing file and a name no
// file can have fail every way of opening alike; an embedded zero does not cut the path short
// to a file that exists. An expected errno of 0 means any.
TEST_F(RuntimeTest, WrongDescriptorsAndPathsFail)
{
    dir.WriteFile(L"a", "abc");
    Descriptor reading(runtime.Open(dir.Path(L"a"), OpenMode::Read));
    ASSERT_GE(reading.Get(), 0);
    char byte;
    errno = 0;
    EXPECT_EQ(-1, runtime.Write(reading.Get(), "x", 1));
    EXPECT_EQ(EBADF, errno);
    errno = 0;
    EXPECT_EQ(-1, runtime.Read(-1, &byte, 1));
    EXPECT_EQ(EBADF, errno);
    errno = 0;
    EXPECT_EQ(-1, runtime.Seek(reading.Get(), -1));
    EXPECT_EQ(EINVAL, errno);
    EXPECT_EQ("abc", dir.ReadFile(L"a"));

    std::wstring unencodable = L"bad-";
    unencodable += static_cast<wchar_t>(0xD800);
    const std::pair<std::wstring, int> paths[] = {
        {L"missing.bin", ENOENT}, {unencodable, ENOENT}, {std::wstring(L"a\0b", 3), 0}};
    for (const auto& [name, error] : paths) {
        SCOPED_TRACE(::testing::PrintToString(name));
        const std::wstring path = dir.Path(name);
        FileStatus status;
        errno = 0;
        EXPECT_EQ(-1, runtime.Stat(path, status));
        EXPECT_TRUE(error == 0 || errno == error);
        for (OpenMode mode : {OpenMode::Read, OpenMode::ReadSequential}) {
            errno = 0;
            EXPECT_EQ(-1, runtime.Open(path, mode));
            EXPECT_TRUE(error == 0 || errno == error);
        }
        errno = 0;
        EXPECT_EQ(nullptr, runtime.OpenStream(path));
        EXPECT_TRUE(error == 0 || errno == error);
    }
    EXPECT_EQ(1u, dir.Entries());
}

} // namespace
