// FileLock against other processes (fork), also after the locked path was replaced by a
// rename, and names that cannot be spelled in UTF-8. The rest is in ../FileLockTest.cpp.
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Vantrel/FileLock.h"
#include "support/TempDir.h"

namespace {

// Whether a FileLock taken in a child process gets `path`.
bool ChildGetsLock(const std::wstring& path)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return false;
    }
    if (child == 0) {
        FileLock lock;
        const bool held = lock.Create(FileLock::Exclusive, path.c_str());
        lock.Release();
        // No destructors, no atexit handlers of the test program: just the answer.
        ::_exit(held ? 1 : 0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        ADD_FAILURE() << "child did not exit normally";
        return false;
    }
    return WEXITSTATUS(status) == 1;
}

// Also after the target was replaced by a rename, as in-place application replaces it, and
// while the holder takes the same path again: it never lets go in between, so its companion
// file is never removed. A name that cannot be spelt in UTF-8 cannot be locked.
TEST(PosixFileLockTest, OtherProcessIsRefusedWhileHeldAndAfterARename)
{
    KorrinTest::TempDir dir;
    const std::wstring target = dir.Put(L"target.bin", "target");
    FileLock unencodable;
    EXPECT_FALSE(unencodable.Create(FileLock::Exclusive, (target + wchar_t(0xDC00)).c_str()));
    EXPECT_FALSE(unencodable.IsHeld());
    {
        FileLock lock;
        ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
        const int companion = ::open(dir.NativePath(L"target.bin.korrin-lock").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
        struct stat kept;
        ASSERT_EQ(0, ::fstat(companion, &kept));
        ::close(companion);
        EXPECT_EQ(1u, kept.st_nlink);
        EXPECT_FALSE(ChildGetsLock(target));
        dir.Put(L"target.bin.dfttemp", "rebuilt");
        std::filesystem::rename(dir.NativePath(L"target.bin.dfttemp"), dir.NativePath(L"target.bin"));
        EXPECT_FALSE(ChildGetsLock(target));
        lock.Release();
        EXPECT_TRUE(ChildGetsLock(target));
        ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
    }
    EXPECT_TRUE(ChildGetsLock(target));
}

} // namespace
