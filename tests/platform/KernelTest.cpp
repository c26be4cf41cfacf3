// The kernel binding as in-place application and temporary names use it, through
// CurrentKernel(), and the fault injection that wraps it.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Kernel.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using Halvorn::Platform::CurrentKernel;
using Halvorn::Platform::Kernel;
using Halvorn::Platform::NativeKernel;
using KorrinTest::PatternBytes;
using KorrinTest::TempDir;

constexpr wchar_t kSeparator = std::filesystem::path::preferred_separator;

class KernelTest : public ::testing::Test {
protected:
    TempDir dir;
    Kernel& kernel = CurrentKernel();
};

TEST_F(KernelTest, MoveReplacesExistingTargetAndSourceIsGone)
{
    dir.WriteFile(L"target.bin", PatternBytes(5000, 1));
    dir.WriteFile(L"target.bin.dfttemp", PatternBytes(300, 2));
    ASSERT_TRUE(
        kernel.MoveReplacing(dir.Path(L"target.bin.dfttemp").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ(PatternBytes(300, 2), dir.ReadFile(L"target.bin"));
    EXPECT_FALSE(dir.Exists(L"target.bin.dfttemp"));
}

TEST_F(KernelTest, MoveToNewName)
{
    dir.WriteFile(L"from.bin", "abc");
    ASSERT_TRUE(kernel.MoveReplacing(dir.Path(L"from.bin").c_str(), dir.Path(L"to.bin").c_str()));
    EXPECT_EQ("abc", dir.ReadFile(L"to.bin"));
    EXPECT_FALSE(dir.Exists(L"from.bin"));
}

TEST_F(KernelTest, MoveOfMissingSourceFailsWithFileNotFound)
{
    dir.WriteFile(L"target.bin", "keep");
    EXPECT_FALSE(kernel.MoveReplacing(dir.Path(L"missing.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
    EXPECT_EQ("keep", dir.ReadFile(L"target.bin"));
}

TEST_F(KernelTest, LastErrorOutlivesLaterSuccessfulCalls)
{
    EXPECT_FALSE(kernel.Remove(dir.Path(L"missing.bin").c_str()));
    dir.WriteFile(L"a.bin", "a");
    EXPECT_TRUE(kernel.CopyOver(dir.Path(L"a.bin").c_str(), dir.Path(L"b.bin").c_str()));
    EXPECT_TRUE(kernel.Remove(dir.Path(L"a.bin").c_str()));
    wchar_t buffer[512];
    EXPECT_GT(kernel.TempDirectory(512, buffer), 0u);
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
}

TEST_F(KernelTest, LastErrorBelongsToTheFailingThread)
{
    EXPECT_FALSE(kernel.Remove(dir.Path(L"missing.bin").c_str()));
    std::uint32_t otherThreadsError = 0;
    std::thread other([&] {
        // A directory cannot be removed as a file: another error number than here.
        std::filesystem::create_directory(dir.NativePath(L"sub"));
        EXPECT_FALSE(kernel.Remove(dir.Path(L"sub").c_str()));
        otherThreadsError = kernel.LastError();
    });
    other.join();
    EXPECT_NE(0u, otherThreadsError);
    EXPECT_NE(static_cast<std::uint32_t>(ENOENT), otherThreadsError);
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
}

TEST_F(KernelTest, CopyOverTruncatesLongerTarget)
{
    dir.WriteFile(L"target.bin", PatternBytes(10000, 3));
    dir.WriteFile(L"source.bin", PatternBytes(1000, 4));
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"source.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ(PatternBytes(1000, 4), dir.ReadFile(L"target.bin"));
    EXPECT_EQ(PatternBytes(1000, 4), dir.ReadFile(L"source.bin"));
}

TEST_F(KernelTest, CopyOverCreatesMissingTarget)
{
    dir.WriteFile(L"source.bin", "bytes");
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"source.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ("bytes", dir.ReadFile(L"target.bin"));
}

TEST_F(KernelTest, CopyOverCopiesLargeAndEmptyFilesExactly)
{
    // Larger than any copy buffer, and not a multiple of a power of two.
    const std::string large = PatternBytes(3 * 1024 * 1024 + 17, 5);
    dir.WriteFile(L"large.bin", large);
    dir.WriteFile(L"target.bin", "old");
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"large.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_TRUE(dir.ReadFile(L"target.bin") == large);

    dir.WriteFile(L"empty.bin", "");
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"empty.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ("", dir.ReadFile(L"target.bin"));
}

TEST_F(KernelTest, CopyOverOfMissingSourceLeavesTargetAlone)
{
    dir.WriteFile(L"target.bin", "keep");
    EXPECT_FALSE(kernel.CopyOver(dir.Path(L"missing.bin").c_str(), dir.Path(L"target.bin").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
    EXPECT_EQ("keep", dir.ReadFile(L"target.bin"));
}

TEST_F(KernelTest, CopyOverIntoMissingDirectoryFails)
{
    dir.WriteFile(L"source.bin", "bytes");
    EXPECT_FALSE(
        kernel.CopyOver(dir.Path(L"source.bin").c_str(), dir.Path(L"no-such-dir/target.bin").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
}

TEST_F(KernelTest, CopyOverOntoItselfKeepsTheBytes)
{
    dir.WriteFile(L"a.bin", "precious");
    EXPECT_FALSE(kernel.CopyOver(dir.Path(L"a.bin").c_str(), dir.Path(L"a.bin").c_str()));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_EQ("precious", dir.ReadFile(L"a.bin"));
}

TEST_F(KernelTest, RemoveDeletesAndFailsForMissingFile)
{
    dir.WriteFile(L"a.bin", "a");
    EXPECT_TRUE(kernel.Remove(dir.Path(L"a.bin").c_str()));
    EXPECT_FALSE(dir.Exists(L"a.bin"));
    EXPECT_FALSE(kernel.Remove(dir.Path(L"a.bin").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
}

TEST_F(KernelTest, TempDirectoryIsAnExistingDirectoryWithOneTrailingSeparator)
{
    wchar_t buffer[1024];
    const std::uint32_t length = kernel.TempDirectory(1024, buffer);
    ASSERT_GT(length, 1u);
    ASSERT_LT(length, 1024u);
    const std::wstring directory(buffer);
    EXPECT_EQ(length, directory.size());
    EXPECT_EQ(kSeparator, directory[length - 1]);
    EXPECT_NE(kSeparator, directory[length - 2]);
    EXPECT_TRUE(std::filesystem::is_directory(TempDir::FromWide(directory)));
}

TEST_F(KernelTest, TempDirectoryThatDoesNotFitWritesNothing)
{
    wchar_t full[1024];
    const std::uint32_t length = kernel.TempDirectory(1024, full);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 1024u);

    std::vector<wchar_t> buffer(length + 1, L'#');
    // No room for the terminator: the size needed, terminator included, and the buffer untouched.
    EXPECT_EQ(length + 1, kernel.TempDirectory(length, buffer.data()));
    EXPECT_EQ(std::vector<wchar_t>(length + 1, L'#'), buffer);
    EXPECT_EQ(length + 1, kernel.TempDirectory(0, nullptr));

    // Exactly enough room.
    EXPECT_EQ(length, kernel.TempDirectory(length + 1, buffer.data()));
    EXPECT_EQ(std::wstring(full), std::wstring(buffer.data()));
}

TEST_F(KernelTest, UniqueTempFileMakesDistinctEmptyFiles)
{
    const std::wstring directory = dir.Path(L"");
    std::set<std::wstring> names;
    for (int i = 0; i < 20; ++i) {
        wchar_t buffer[1024];
        ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
        const std::wstring name(buffer);
        EXPECT_EQ(directory + L"diff", name.substr(0, directory.size() + 4));
        EXPECT_GT(name.size(), directory.size() + 4 + 4);
        EXPECT_EQ(L".tmp", name.substr(name.size() - 4));
        EXPECT_EQ(std::wstring::npos, name.find(kSeparator, directory.size()));
        EXPECT_TRUE(std::filesystem::is_regular_file(TempDir::FromWide(name)));
        EXPECT_EQ(0u, std::filesystem::file_size(TempDir::FromWide(name)));
        names.insert(name);
    }
    EXPECT_EQ(20u, names.size());
    EXPECT_EQ(20u, dir.Entries());
}

TEST_F(KernelTest, UniqueTempFileAddsMissingSeparator)
{
    const std::wstring directory = dir.Path(L"sub");
    std::filesystem::create_directory(dir.NativePath(L"sub"));
    wchar_t buffer[1024];
    ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
    EXPECT_EQ(directory + kSeparator + L"diff", std::wstring(buffer).substr(0, directory.size() + 5));
    EXPECT_EQ(1u, TempDir::Entries(dir.NativePath(L"sub")));
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

TEST_F(KernelTest, UniqueTempFileInMissingDirectoryFails)
{
    const std::wstring directory = dir.Path(L"no-such-dir") + kSeparator;
    wchar_t buffer[1024];
    EXPECT_EQ(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", buffer, 1024));
    EXPECT_EQ(static_cast<std::uint32_t>(ENOENT), kernel.LastError());
}

} // namespace
