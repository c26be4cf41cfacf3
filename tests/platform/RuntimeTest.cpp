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

namespace {

using namespace Halvorn::Platform;
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

// WriteCreate makes a missing file and truncates a longer one. Names outside ASCII are the
// names on disk, spelt independently of the library here. (Seeks and reads to the end are held
// to the file window's needs in ../io/FileWindowTest.cpp.)
TEST_F(RuntimeTest, WritesLandUnderTheirNamesAndTruncate)
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
