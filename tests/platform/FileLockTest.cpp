// FileLock between objects of one process and under contention. What only one system can show
// (other processes, exclusion after the target is replaced by a rename, names one system cannot
// spell) is in posix/ and windows/.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/FileLock.h"
#include "support/TempDir.h"

namespace {

// A fresh directory with one file, `target`, to lock.
struct FileLockTest : ::testing::Test {
    KorrinTest::TempDir dir;
    const std::wstring target = dir.Put(L"target.bin", "target");
};

// Release and destruction both free the lock for the next holder and take the companion file
// away with them; a companion left behind by a holder that crashed does not block, nor does a
// name outside ASCII.
TEST_F(FileLockTest, SecondHolderIsRefusedUntilReleaseOrDestruction)
{
    for (const std::wstring name : {L"target.bin", L"\u00e9t\u00e9-\u6587\u4ef6.bin"}) {
        dir.Put(name + L".korrin-lock", "");
        const std::wstring path = dir.Path(name);
        FileLock second;
        {
            FileLock first;
            ASSERT_TRUE(first.Create(FileLock::Exclusive, path.c_str()));
            EXPECT_TRUE(first.IsHeld());
            EXPECT_TRUE(dir.Exists(name + L".korrin-lock"));
            EXPECT_FALSE(second.Create(FileLock::Exclusive, path.c_str()));
            EXPECT_FALSE(second.IsHeld());
            first.Release();
            EXPECT_FALSE(first.IsHeld());
            EXPECT_FALSE(dir.Exists(name + L".korrin-lock"));
            ASSERT_TRUE(second.Create(FileLock::Exclusive, path.c_str()));
            EXPECT_FALSE(first.Create(FileLock::Exclusive, path.c_str()));
            second.Release();
            ASSERT_TRUE(first.Create(FileLock::Exclusive, path.c_str()));
        }
        EXPECT_FALSE(dir.Exists(name + L".korrin-lock"));
        EXPECT_TRUE(second.Create(FileLock::Exclusive, path.c_str()));
    }
    EXPECT_EQ("target", dir.ReadFile(L"target.bin"));
}

// Taking the same path again does not trip over its own lock; taking another moves the lock.
// A path that cannot be locked fails, and gives up the lock held before.
TEST_F(FileLockTest, CreateAgainMovesTheLockOrGivesItUp)
{
    dir.Put(L"other.bin", "other");
    const std::wstring other = dir.Path(L"other.bin");
    FileLock lock;
    ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
    ASSERT_TRUE(lock.Create(FileLock::Exclusive, target.c_str()));
    ASSERT_TRUE(lock.Create(FileLock::Exclusive, other.c_str()));
    FileLock probe;
    EXPECT_TRUE(probe.Create(FileLock::Exclusive, target.c_str()));
    probe.Release();
    EXPECT_FALSE(probe.Create(FileLock::Exclusive, other.c_str()));
    EXPECT_FALSE(dir.Exists(L"target.bin.korrin-lock"));
    EXPECT_FALSE(lock.Create(FileLock::Exclusive, dir.Path(L"missing-dir/file").c_str()));
    EXPECT_FALSE(lock.IsHeld());
    EXPECT_TRUE(probe.Create(FileLock::Exclusive, other.c_str()));
    EXPECT_FALSE(lock.Create(FileLock::Exclusive, nullptr));
    EXPECT_FALSE(lock.IsHeld());
}

// Holders come and go while others try: the companion file is removed and made again all the
// time, and still no two may hold the lock at once.
TEST_F(FileLockTest, NeverTwoHoldersUnderContention)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> acquired{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            FileLock lock;
            for (int round = 0; round < kRounds; ++round) {
                if (!lock.Create(FileLock::Exclusive, target.c_str()))
                    continue;
                if (holders.fetch_add(1) != 0)
                    overlaps.fetch_add(1);
                acquired.fetch_add(1);
                std::this_thread::yield();
                holders.fetch_sub(1);
                lock.Release();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, overlaps.load());
    EXPECT_GT(acquired.load(), 0);
    EXPECT_FALSE(dir.Exists(L"target.bin.korrin-lock"));
}

} // namespace
