// The kernel and runtime bindings as the engine reaches them, through CurrentKernel() and
// CurrentRuntime(), and the temporary names made through the kernel. What Stat and the streams
// answer is held in the engine's tests: signatures carry a file's size and time, and
// whole-file deltas are read through a stream.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Kernel.h"
#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/KernelConventions.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace KorrinTest;
using namespace Halvorn::Platform;

constexpr wchar_t kSeparator = std::filesystem::path::preferred_separator;
const KernelErrors& errors = NativeKernelErrors();

class KernelTest : public ::testing::Test {
protected:
    TempDir dir;
    Kernel& kernel = CurrentKernel();
};
using RuntimeTest = KernelTest;

// The error of the last failed call, as the system keeps it: per thread, and not cleared by
// the successful calls that follow.
TEST_F(KernelTest, LastErrorBelongsToTheFailingThreadAndOutlivesLaterSuccesses)
{
    EXPECT_FALSE(kernel.Remove(dir.Path(L"missing.bin").c_str()));
    dir.Put(L"a.bin", "a");
    EXPECT_TRUE(kernel.CopyOver(dir.Path(L"a.bin").c_str(), dir.Path(L"b.bin").c_str()));
    EXPECT_TRUE(kernel.Remove(dir.Path(L"a.bin").c_str()));
    EXPECT_FALSE(dir.Exists(L"a.bin"));
    wchar_t buffer[512];
    EXPECT_GT(kernel.TempDirectory(512, buffer), 0u);
    std::uint32_t otherThreadsError = 0;
    std::thread other([&] {
        // A directory cannot be removed as a file: another error number than here.
        std::filesystem::create_directory(dir.NativePath(L"sub"));
        EXPECT_FALSE(kernel.Remove(dir.Path(L"sub").c_str()));
        otherThreadsError = kernel.LastError();
    });
    other.join();
    EXPECT_NE(0u, otherThreadsError);
    EXPECT_NE(errors.missingFile, otherThreadsError);
    EXPECT_EQ(errors.missingFile, kernel.LastError());
}

// A move takes the source away, a copy leaves it; either way the target ends with exactly the
// source's bytes, whether it was missing, longer or shorter. A failed move, copy or removal
// reports why (an expected error of 0: any) and leaves both files as they were.
TEST_F(KernelTest, MoveCopyAndRemoveDoAllOrNothing)
{
    enum Op { Move, Copy, Remove };
    const struct {
        const char* what;
        Op op;
        const char* target; // null: no target
        std::string source;
        const wchar_t* from;
        const wchar_t* to;
        std::uint32_t error = 0; // for a failure; 0: any
        bool fails = false;
    } cases[] = {
        {"move over an existing target", Move, "keep", PatternBytes(300, 2), L"source.bin", L"target.bin"},
        {"move to a new name", Move, nullptr, "abc", L"source.bin", L"target.bin"},
        {"copy over a longer target", Copy, "a longer target", "abc", L"source.bin", L"target.bin"},
        {"copy to a missing target", Copy, nullptr, "bytes", L"source.bin", L"target.bin"},
        // Larger than any copy buffer, and not a multiple of a power of two.
        {"copy a large file", Copy, "keep", PatternBytes(3 * 1024 * 1024 + 17, 5), L"source.bin",
         L"target.bin"},
        {"copy an empty file", Copy, "keep", "", L"source.bin", L"target.bin"},
        {"move of a missing source", Move, "keep", "x", L"missing.bin", L"target.bin", errors.missingFile,
         true},
        {"copy of a missing source", Copy, "keep", "x", L"missing.bin", L"target.bin", errors.missingFile,
         true},
        {"copy into a missing directory", Copy, "keep", "x", L"source.bin", L"no-such-dir/target.bin",
         errors.missingDirectory, true},
        {"copy onto itself", Copy, "keep", "x", L"source.bin", L"source.bin", 0, true},
        {"removal of a missing file", Remove, "keep", "x", L"missing.bin", L"", errors.missingFile, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir local;
        if (c.target != nullptr)
            local.Put(L"target.bin", c.target);
        local.Put(L"source.bin", c.source);
        const std::wstring from = local.Path(c.from);
        const std::wstring to = local.Path(c.to);
        const bool done = c.op == Move   ? kernel.MoveReplacing(from.c_str(), to.c_str())
                          : c.op == Copy ? kernel.CopyOver(from.c_str(), to.c_str())
                                         : kernel.Remove(from.c_str());
        ASSERT_EQ(done, !c.fails);
        const std::uint32_t error = kernel.LastError();
        EXPECT_TRUE(!c.fails || (c.error == 0 ? error != 0 : error == c.error)) << error;
        EXPECT_TRUE(local.ReadFile(L"target.bin") == (c.fails ? std::string(c.target) : c.source));
        EXPECT_EQ(local.Entries(), c.fails || c.op == Copy ? 2u : 1u);
        EXPECT_TRUE(!(c.fails || c.op == Copy) || local.ReadFile(L"source.bin") == c.source);
    }
}

// The directory with one trailing separator; a buffer without room for the terminator gets
// the size needed, terminator included, and is left untouched.
TEST_F(KernelTest, TempDirectoryIsAnExistingDirectoryAndWrittenOnlyWhenItFits)
{
    wchar_t full[1024];
    const std::uint32_t length = kernel.TempDirectory(1024, full);
    ASSERT_GT(length, 1u);
    ASSERT_LT(length, 1024u);
    const std::wstring directory(full);
    EXPECT_EQ(length, directory.size());
    EXPECT_EQ(kSeparator, directory[length - 1]);
    EXPECT_NE(kSeparator, directory[length - 2]);
    EXPECT_TRUE(std::filesystem::is_directory(TempDir::FromWide(directory)));
    std::vector<wchar_t> buffer(length + 1, L'#');
    EXPECT_EQ(length + 1, kernel.TempDirectory(length, buffer.data()));
    EXPECT_EQ(std::vector<wchar_t>(length + 1, L'#'), buffer);
    EXPECT_EQ(length + 1, kernel.TempDirectory(0, nullptr));
    EXPECT_EQ(length, kernel.TempDirectory(length + 1, buffer.data()));
    EXPECT_EQ(directory, std::wstring(buffer.data()));
}

// As many distinct files as calls, named in the directory (given with or without its
// separator) from the prefix, of which every system keeps the first three characters; a
// missing directory, or a name that does not fit (counted in wide characters), fails and leaves
// no file. The form of each name is checked through the engine below.
TEST_F(KernelTest, UniqueTempFileMakesDistinctFilesOnlyWhereTheyFit)
{
    const std::wstring sub = L"s\u00fcb-\u6587";
    std::filesystem::create_directory(dir.NativePath(sub));
    std::set<std::wstring> names;
    wchar_t buffer[1024];
    for (const std::wstring& directory : {dir.Path(L""), dir.Path(sub)}) {
        const std::wstring start =
            directory + std::wstring(directory.back() != kSeparator, kSeparator) + L"dif";
        for (int i = 0; i < 10; ++i) {
            ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
            const std::wstring name(buffer);
            EXPECT_EQ(start, name.substr(0, start.size()));
            EXPECT_EQ(std::wstring::npos, name.find(kSeparator, start.size()));
            names.insert(name);
        }
    }
    EXPECT_EQ(20u, names.size());
    EXPECT_EQ(10u, TempDir::Entries(dir.NativePath(sub)));
    EXPECT_EQ(11u, dir.Entries());

    const std::wstring missing = dir.Path(L"no-such-dir") + kSeparator;
    EXPECT_EQ(0u, kernel.UniqueTempFile(missing.c_str(), L"diff", buffer, 1024));
    EXPECT_EQ(errors.missingTempDirectory, kernel.LastError());
    ASSERT_NE(0u, kernel.UniqueTempFile(dir.Path(sub).c_str(), L"diff", buffer, 1024));
    const auto length = static_cast<std::uint32_t>(std::wstring(buffer).size());
    ASSERT_TRUE(kernel.Remove(buffer));
    EXPECT_EQ(0u, kernel.UniqueTempFile(dir.Path(sub).c_str(), L"diff", buffer, length));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_EQ(10u, TempDir::Entries(dir.NativePath(sub)));
    ASSERT_NE(0u, kernel.UniqueTempFile(dir.Path(sub).c_str(), L"diff", buffer, length + 1));
    EXPECT_EQ(length, std::wstring(buffer).size());
    EXPECT_EQ(11u, TempDir::Entries(dir.NativePath(sub)));
}

// A call makes a new empty file in the temporary directory, named from "diff" and ending in
// ".tmp" (the kernel's tests show the names distinct). Without a directory, or without a file,
// the call fails from a site of its own and leaves the name alone; without a directory no file
// is attempted.
TEST(GenerateTempFilenameTest, EachCallMakesANewEmptyFileOrLeavesTheNameAlone)
{
    wchar_t buffer[260];
    const std::uint32_t length = CurrentKernel().TempDirectory(260, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 260u);
    const std::wstring start = std::wstring(buffer, length) + L"dif"; // all a system may keep of the prefix
    std::wstring name;
    ASSERT_EQ(GenerateTempFilename(name), Halvorn::Vantrel::RESULT_OK);
    const std::filesystem::path path = TempDir::FromWide(name);
    EXPECT_EQ(name.compare(0, start.size(), start), 0) << name;
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp") << name;
    EXPECT_GT(name.size(), start.size() + 4) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(path) && std::filesystem::file_size(path) == 0) << name;
    std::filesystem::remove(path);

    std::set<int> sites;
    for (KernelCall call : {KernelCall::TempDirectory, KernelCall::UniqueTempFile}) {
        FaultyKernel kernel;
        kernel.FailCall(call, ENOSPC);
        LogCapture capture;
        std::wstring name = L"unchanged";
        EXPECT_EQ(GenerateTempFilename(name), Halvorn::Vantrel::RESULT_FAILED);
        EXPECT_EQ(name, L"unchanged");
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {L"Error 32768 at func: GenerateTempFilename"}));
        sites.insert(capture.Texts().empty() ? -1 : LineNumberOf(capture.Texts()[0]));
        EXPECT_EQ(kernel.Calls(KernelCall::UniqueTempFile), call == KernelCall::UniqueTempFile ? 1 : 0);
    }
    EXPECT_EQ(sites.size(), 2u);
}

// WriteCreate makes a missing file and truncates a longer one. Names outside ASCII are the
// names on disk, spelt independently of the library here. (Seeks and reads to the end are held
// to the file window's needs in ../io/FileWindowTest.cpp.)
TEST_F(RuntimeTest, WritesLandUnderTheirNamesAndTruncate)
{
    const std::wstring name = L"\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin";
    dir.Put(L"old.bin", "0123456789");
    for (const std::wstring& target : {name, std::wstring(L"old.bin")}) {
        Halvorn::ScopedFileDescriptor file(CurrentRuntime().Open(dir.Path(target), OpenMode::WriteCreate));
        ASSERT_GE(file.Get(), 0);
        EXPECT_EQ(2, CurrentRuntime().Write(file.Get(), "ab", 2));
        EXPECT_EQ(0, CurrentRuntime().Close(file.Release()));
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
    dir.Put(L"a", "abc");
    Halvorn::ScopedFileDescriptor reading(CurrentRuntime().Open(dir.Path(L"a"), OpenMode::Read));
    ASSERT_GE(reading.Get(), 0);
    char byte;
    errno = 0;
    EXPECT_EQ(-1, CurrentRuntime().Write(reading.Get(), "x", 1));
    EXPECT_EQ(EBADF, errno);
    errno = 0;
    EXPECT_EQ(-1, CurrentRuntime().Read(-1, &byte, 1));
    EXPECT_EQ(EBADF, errno);
    errno = 0;
    EXPECT_EQ(-1, CurrentRuntime().Seek(reading.Get(), -1));
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
        EXPECT_EQ(-1, CurrentRuntime().Stat(path, status));
        EXPECT_TRUE(error == 0 || errno == error);
        for (OpenMode mode : {OpenMode::Read, OpenMode::ReadSequential}) {
            errno = 0;
            EXPECT_EQ(-1, CurrentRuntime().Open(path, mode));
            EXPECT_TRUE(error == 0 || errno == error);
        }
        errno = 0;
        EXPECT_EQ(nullptr, CurrentRuntime().OpenStream(path));
        EXPECT_TRUE(error == 0 || errno == error);
    }
    EXPECT_EQ(1u, dir.Entries());
}

} // namespace
