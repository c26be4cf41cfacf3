// FileLock against the system's own ways of replacing and removing files while it is held.
// Other processes are not started here: a sharing violation does not depend on which process
// holds the other handle, so a second FileLock in this process stands for them.
#include <string>

#include <windows.h>

#include <gtest/gtest.h>

#include "Vantrel/FileLock.h"
#include "support/TempDir.h"

namespace {

// Replacing the target the way in-place application does must work and keep the lock; taking
// the companion away from its holder must not work, or a second holder could make a new one.
TEST(WindowsFileLockTest, ReplacingTheTargetOrTheCompanionLetsNoSecondHolderIn)
{
    KorrinTest::TempDir dir;
    const std::wstring target = dir.Put(L"target.bin", "target");
    const DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED;
    const struct {
        const char* what;
        bool (*act)(const std::wstring& source, const std::wstring& target);
        bool succeeds;
    } cases[] = {
        {"another file moved over the target",
         [](const std::wstring& source, const std::wstring& target) {
             return ::MoveFileExW(source.c_str(), target.c_str(), replace) != 0;
         },
         true},
        {"another file moved over the companion",
         [](const std::wstring& source, const std::wstring& target) {
             return ::MoveFileExW(source.c_str(), (target + L".korrin-lock").c_str(), replace) != 0;
         },
         false},
        {"the companion deleted",
         [](const std::wstring&, const std::wstring& target) {
             return ::DeleteFileW((target + L".korrin-lock").c_str()) != 0;
         },
         false},
        {"the companion moved away",
         [](const std::wstring& source, const std::wstring& target) {
             return ::MoveFileExW((target + L".korrin-lock").c_str(), (source + L".moved").c_str(), 0) != 0;
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileLock lock;
        ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
        dir.Put(L"target.bin.dfttemp", "rebuilt");
        EXPECT_EQ(c.succeeds, c.act(dir.Path(L"target.bin.dfttemp"), target));

        FileLock other;
        EXPECT_FALSE(other.Create(FileLock::Exclusive, target.c_str()));
        EXPECT_TRUE(dir.Exists(L"target.bin.korrin-lock"));
        lock.Release();
        EXPECT_FALSE(dir.Exists(L"target.bin.korrin-lock"));
        EXPECT_TRUE(other.Create(FileLock::Exclusive, target.c_str()));
    }
    EXPECT_EQ("rebuilt", dir.ReadFile(L"target.bin"));
}

} // namespace
