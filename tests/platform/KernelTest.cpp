// The kernel binding as in-place application and temporary names use it, through
// CurrentKernel(), and the fault injection that wraps it.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Kernel.h"
#include "support/KernelConventions.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using Halvorn::Platform::CurrentKernel;
using Halvorn::Platform::Kernel;
using Halvorn::Platform::NativeKernel;
using KorrinTest::PatternBytes;
using KorrinTest::TempDir;

constexpr wchar_t kSeparator = std::filesystem::path::preferred_separator;
const KorrinTest::KernelErrors& errors = KorrinTest::NativeKernelErrors();
const std::wstring kTempNameStart = KorrinTest::TempNameStart(L"diff");

class KernelTest : public ::testing::Test {
protected:
    TempDir dir;
    Kernel& kernel = CurrentKernel();
};

// The error of the last failed call, as the system keeps it: per thread, and not cleared by
// the successful calls that follow.
TEST_F(KernelTest, LastErrorBelongsToTheFailingThreadAndOutlivesLaterSuccesses)
{
    EXPECT_FALSE(kernel.Remove(dir.Path(L"missing.bin").c_str()));
    dir.WriteFile(L"a.bin", "a");
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
// source's bytes, whether it was missing, longer or shorter.
TEST_F(KernelTest, MoveAndCopyLeaveTheSourcesBytesAtTheTarget)
{
    struct Case {
        const char* name;
        bool copy;
        bool targetExists;
        std::string target;
        std::string source;
    };
    const Case cases[] = {
        {"move over an existing target", false, true, PatternBytes(5000, 1), PatternBytes(300, 2)},
        {"move to a new name", false, false, "", "abc"},
        {"copy over a longer target", true, true, PatternBytes(10000, 3), PatternBytes(1000, 4)},
        {"copy to a missing target", true, false, "", "bytes"},
        // Larger than any copy buffer, and not a multiple of a power of two.
        {"copy a large file", true, true, "old", PatternBytes(3 * 1024 * 1024 + 17, 5)},
        {"copy an empty file", true, true, "old", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        if (c.targetExists)
            local.WriteFile(L"target.bin", c.target);
        local.WriteFile(L"source.bin", c.source);
        const std::wstring source = local.Path(L"source.bin");
        const std::wstring target = local.Path(L"target.bin");
        ASSERT_TRUE(c.copy ? kernel.CopyOver(source.c_str(), target.c_str())
                           : kernel.MoveReplacing(source.c_str(), target.c_str()));
        EXPECT_TRUE(c.source == local.ReadFile(L"target.bin"));
        if (c.copy)
            EXPECT_TRUE(c.source == local.ReadFile(L"source.bin"));
        else
            EXPECT_FALSE(local.Exists(L"source.bin"));
    }
}

// A failed move, copy or removal reports why and leaves both files as they were. An expected
// error of 0 means any error.
TEST_F(KernelTest, FailedMoveCopyAndRemoveChangeNothing)
{
    enum class Op { Move, Copy, Remove };
    struct Case {
        const char* name;
        Op op;
        const wchar_t* from;
        const wchar_t* to;
        std::uint32_t expectedError;
    };
    const Case cases[] = {
        {"move of a missing source", Op::Move, L"missing.bin", L"target.bin", errors.missingFile},
        {"copy of a missing source", Op::Copy, L"missing.bin", L"target.bin", errors.missingFile},
        {"copy into a missing directory", Op::Copy, L"source.bin", L"no-such-dir/target.bin",
         errors.missingDirectory},
        {"copy onto itself", Op::Copy, L"source.bin", L"source.bin", 0},
        {"removal of a missing file", Op::Remove, L"missing.bin", L"", errors.missingFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        local.WriteFile(L"target.bin", "keep");
        local.WriteFile(L"source.bin", "precious");
        const std::wstring from = local.Path(c.from);
        const std::wstring to = local.Path(c.to);
        EXPECT_FALSE(c.op == Op::Move   ? kernel.MoveReplacing(from.c_str(), to.c_str())
                     : c.op == Op::Copy ? kernel.CopyOver(from.c_str(), to.c_str())
                                        : kernel.Remove(from.c_str()));
        if (c.expectedError != 0)
            EXPECT_EQ(c.expectedError, kernel.LastError());
        else
            EXPECT_NE(0u, kernel.LastError());
        EXPECT_EQ("keep", local.ReadFile(L"target.bin"));
        EXPECT_EQ("precious", local.ReadFile(L"source.bin"));
        EXPECT_EQ(2u, local.Entries());
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

// The form of each name (prefix, ".tmp", an empty file) is checked through the engine in
// ../engine/GenerateTempFilenameTest.cpp; here, that many calls make as many files.
TEST_F(KernelTest, UniqueTempFileMakesDistinctFiles)
{
    const std::wstring directory = dir.Path(L"");
    std::set<std::wstring> names;
    for (int i = 0; i < 20; ++i) {
        wchar_t buffer[1024];
        ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
        const std::wstring name(buffer);
        EXPECT_EQ(directory + kTempNameStart, name.substr(0, directory.size() + kTempNameStart.size()));
        EXPECT_EQ(std::wstring::npos, name.find(kSeparator, directory.size()));
        names.insert(name);
    }
    EXPECT_EQ(20u, names.size());
    EXPECT_EQ(20u, dir.Entries());
}

// A directory given without its separator gets one; a missing directory is an error.
TEST_F(KernelTest, UniqueTempFileAddsMissingSeparatorAndFailsInMissingDirectory)
{
    const std::wstring directory = dir.Path(L"sub");
    std::filesystem::create_directory(dir.NativePath(L"sub"));
    wchar_t buffer[1024];
    ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
    EXPECT_EQ(directory + kSeparator + kTempNameStart,
              std::wstring(buffer).substr(0, directory.size() + 1 + kTempNameStart.size()));
    EXPECT_EQ(1u, TempDir::Entries(dir.NativePath(L"sub")));

    const std::wstring missing = dir.Path(L"no-such-dir") + kSeparator;
    EXPECT_EQ(0u, kernel.UniqueTempFile(missing.c_str(), L"diff", buffer, 1024));
    EXPECT_EQ(errors.missingTempDirectory, kernel.LastError());
}

TEST_F(KernelTest, UniqueTempFileNameThatDoesNotFitFailsAndLeavesNoFile)
{
    const std::wstring directory = dir.Path(L"");
    wchar_t probe[1024];
    ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", probe, 1024));
    const std::uint32_t length = static_cast<std::uint32_t>(std::wstring(probe).size());
    ASSERT_TRUE(kernel.Remove(probe));

    std::vector<wchar_t> buffer(length + 1, L'#');
    EXPECT_EQ(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer.data(), length));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_EQ(0u, dir.Entries());

    ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer.data(), length + 1));
    EXPECT_EQ(length, std::wstring(buffer.data()).size());
    EXPECT_EQ(1u, dir.Entries());
}

} // namespace
