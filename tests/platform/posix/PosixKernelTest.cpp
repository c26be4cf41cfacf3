// What the kernel binding does that only POSIX has: permission bits, TMPDIR, UTF-8 names.
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
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

// Which permission bits the target ends with when a move or a copy puts a file in place: an
// existing target keeps its own, a new one takes the source's. A target mode of 0 means no target.
TEST_F(PosixKernelTest, MoveAndCopyKeepTheRightPermissionBits)
{
    struct Case {
        const char* name;
        bool copy;
        mode_t targetMode;
        mode_t sourceMode;
        mode_t expected;
        bool zeroUmask;
    };
    const Case cases[] = {
        {"move over a wider mode", false, 0755, 0644, 0755, false},
        {"move over a restrictive mode", false, 0600, 0666, 0600, false},
        {"move to a new name", false, 0, 0640, 0640, false},
        {"copy over an existing target", true, 0751, 0644, 0751, false},
        {"copy to a new target", true, 0, 0750, 0750, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir local;
        std::optional<UmaskGuard> mask;
        if (c.zeroUmask)
            mask.emplace(0);
        if (c.targetMode != 0) {
            local.WriteFile(L"target", "old bytes, longer");
            SetPermissions(local.NativePath(L"target"), c.targetMode);
        }
        local.WriteFile(L"source", "new");
        SetPermissions(local.NativePath(L"source"), c.sourceMode);
        const std::wstring source = local.Path(L"source");
        const std::wstring target = local.Path(L"target");
        ASSERT_TRUE(c.copy ? kernel.CopyOver(source.c_str(), target.c_str())
                           : kernel.MoveReplacing(source.c_str(), target.c_str()));
        EXPECT_EQ(c.expected, PermissionsOf(local.NativePath(L"target")));
        EXPECT_EQ("new", local.ReadFile(L"target"));
    }
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
