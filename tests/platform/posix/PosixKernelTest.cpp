// What the kernel binding does that only POSIX has: permission bits, TMPDIR, UTF-8 names.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/Kernel.h"
#include "support/PosixEnvironment.h"
#include "support/TempDir.h"

namespace {

using Halvorn::Platform::CurrentKernel;
using Halvorn::Platform::Kernel;
using KorrinTest::PermissionsOf;
using KorrinTest::SetPermissions;
using KorrinTest::TempDir;
using KorrinTest::TmpdirGuard;
using KorrinTest::UmaskGuard;

std::wstring Unencodable(const std::wstring& before)
{
    return before + static_cast<wchar_t>(0xD800);
}

class PosixKernelTest : public ::testing::Test {
protected:
    TempDir dir;
    Kernel& kernel = CurrentKernel();

    std::wstring TempDirectory()
    {
        wchar_t buffer[4096];
        const std::uint32_t length = kernel.TempDirectory(4096, buffer);
        EXPECT_GT(length, 0u);
        EXPECT_LT(length, 4096u);
        return length > 0 && length < 4096 ? std::wstring(buffer, length) : std::wstring();
    }
};

TEST_F(PosixKernelTest, MoveKeepsTheReplacedFilesPermissionBits)
{
    dir.WriteFile(L"tool", "old executable");
    dir.WriteFile(L"tool.dfttemp", "new executable");
    SetPermissions(dir.NativePath(L"tool"), 0755);
    SetPermissions(dir.NativePath(L"tool.dfttemp"), 0644);
    ASSERT_TRUE(kernel.MoveReplacing(dir.Path(L"tool.dfttemp").c_str(), dir.Path(L"tool").c_str()));
    EXPECT_EQ(0755u, PermissionsOf(dir.NativePath(L"tool")));
    EXPECT_EQ("new executable", dir.ReadFile(L"tool"));
}

TEST_F(PosixKernelTest, MoveKeepsRestrictiveBitsToo)
{
    dir.WriteFile(L"secret", "old");
    dir.WriteFile(L"secret.dfttemp", "new");
    SetPermissions(dir.NativePath(L"secret"), 0600);
    SetPermissions(dir.NativePath(L"secret.dfttemp"), 0666);
    ASSERT_TRUE(kernel.MoveReplacing(dir.Path(L"secret.dfttemp").c_str(), dir.Path(L"secret").c_str()));
    EXPECT_EQ(0600u, PermissionsOf(dir.NativePath(L"secret")));
}

TEST_F(PosixKernelTest, MoveToNewNameKeepsTheSourcesBits)
{
    dir.WriteFile(L"from", "x");
    SetPermissions(dir.NativePath(L"from"), 0640);
    ASSERT_TRUE(kernel.MoveReplacing(dir.Path(L"from").c_str(), dir.Path(L"to").c_str()));
    EXPECT_EQ(0640u, PermissionsOf(dir.NativePath(L"to")));
}

TEST_F(PosixKernelTest, MoveOntoADirectoryFailsAndKeepsTheSource)
{
    dir.WriteFile(L"source", "x");
    std::filesystem::create_directory(dir.NativePath(L"target"));
    EXPECT_FALSE(kernel.MoveReplacing(dir.Path(L"source").c_str(), dir.Path(L"target").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(EISDIR), kernel.LastError());
    EXPECT_EQ("x", dir.ReadFile(L"source"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.NativePath(L"target")));
}

TEST_F(PosixKernelTest, CopyOverKeepsAnExistingTargetsMode)
{
    dir.WriteFile(L"target", "old bytes, longer");
    dir.WriteFile(L"source", "new");
    SetPermissions(dir.NativePath(L"target"), 0751);
    SetPermissions(dir.NativePath(L"source"), 0644);
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"source").c_str(), dir.Path(L"target").c_str()));
    EXPECT_EQ(0751u, PermissionsOf(dir.NativePath(L"target")));
    EXPECT_EQ("new", dir.ReadFile(L"target"));
}

TEST_F(PosixKernelTest, CopyOverGivesANewTargetTheSourcesBits)
{
    UmaskGuard mask(0);
    dir.WriteFile(L"source", "bytes");
    SetPermissions(dir.NativePath(L"source"), 0750);
    ASSERT_TRUE(kernel.CopyOver(dir.Path(L"source").c_str(), dir.Path(L"target").c_str()));
    EXPECT_EQ(0750u, PermissionsOf(dir.NativePath(L"target")));
}

TEST_F(PosixKernelTest, TempDirectoryHonoursTmpdir)
{
    TmpdirGuard tmpdir;
    const std::string root = dir.Root().string();
    tmpdir.Set(root);
    EXPECT_EQ(dir.Path(L""), TempDirectory());
    // Exactly one separator, however many TMPDIR ends with.
    tmpdir.Set(root + "///");
    EXPECT_EQ(dir.Path(L""), TempDirectory());
    tmpdir.Set("/");
    EXPECT_EQ(L"/", TempDirectory());
}

TEST_F(PosixKernelTest, TempDirectoryFallsBackWhenTmpdirIsUnusable)
{
    TmpdirGuard tmpdir;
    tmpdir.Unset();
    EXPECT_EQ(L"/tmp/", TempDirectory());
    tmpdir.Set("");
    EXPECT_EQ(L"/tmp/", TempDirectory());
    tmpdir.Set(dir.Root().string() + "/missing");
    EXPECT_EQ(L"/tmp/", TempDirectory());
    dir.WriteFile(L"file", "not a directory");
    tmpdir.Set(dir.NativePath(L"file").string());
    EXPECT_EQ(L"/tmp/", TempDirectory());
    // Not UTF-8, so no wide path can name it.
    const std::filesystem::path latin1 = dir.Root() / std::string("caf\xe9");
    std::filesystem::create_directory(latin1);
    tmpdir.Set(latin1.string());
    EXPECT_EQ(L"/tmp/", TempDirectory());
}

TEST_F(PosixKernelTest, TempDirectoryCountsWideCharactersNotBytes)
{
    TmpdirGuard tmpdir;
    const std::wstring name = L"\u6587\u4ef6";
    std::filesystem::create_directory(dir.NativePath(name));
    tmpdir.Set(dir.NativePath(name).string());
    const std::wstring expected = dir.Path(name) + L"/";
    const std::uint32_t length = static_cast<std::uint32_t>(expected.size());
    wchar_t buffer[4096];
    EXPECT_EQ(length, kernel.TempDirectory(length + 1, buffer));
    EXPECT_EQ(expected, std::wstring(buffer));
    EXPECT_EQ(length + 1, kernel.TempDirectory(length, buffer));
}

TEST_F(PosixKernelTest, UniqueTempFileInNonAsciiDirectoryFitsByWideLength)
{
    const std::wstring name = L"\u00e9t\u00e9-\u6587\u4ef6";
    std::filesystem::create_directory(dir.NativePath(name));
    const std::wstring directory = dir.Path(name) + L"/";
    wchar_t probe[4096];
    ASSERT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", probe, 4096));
    const std::wstring created(probe);
    EXPECT_EQ(0u, std::filesystem::file_size(TempDir::FromWide(created)));
    ASSERT_TRUE(kernel.Remove(probe));

    wchar_t exact[4096];
    EXPECT_NE(0u, kernel.UniqueTempFile(directory.c_str(), L"diff", exact,
                                        static_cast<std::uint32_t>(created.size() + 1)));
    EXPECT_TRUE(std::filesystem::exists(TempDir::FromWide(exact)));
}

TEST_F(PosixKernelTest, UnencodablePathsFailAndCreateNothing)
{
    dir.WriteFile(L"a", "a");
    EXPECT_FALSE(kernel.MoveReplacing(Unencodable(dir.Path(L"a")).c_str(), dir.Path(L"b").c_str()));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_FALSE(kernel.MoveReplacing(dir.Path(L"a").c_str(), Unencodable(dir.Path(L"b")).c_str()));
    EXPECT_FALSE(kernel.CopyOver(dir.Path(L"a").c_str(), Unencodable(dir.Path(L"b")).c_str()));
    EXPECT_FALSE(kernel.Remove(Unencodable(dir.Path(L"a")).c_str()));
    wchar_t buffer[4096];
    EXPECT_EQ(0u, kernel.UniqueTempFile(Unencodable(dir.Path(L"")).c_str(), L"diff", buffer, 4096));
    EXPECT_EQ(0u, kernel.UniqueTempFile(dir.Path(L"").c_str(), Unencodable(L"diff").c_str(), buffer, 4096));
    EXPECT_NE(0u, kernel.LastError());

    EXPECT_EQ("a", dir.ReadFile(L"a"));
    EXPECT_EQ(1u, dir.Entries());
}

} // namespace
