// A rebuild onto a device that is always full fails with the disk-full code. In place, a
// symbolic link at the temporary name is removed, never written through.
#include <filesystem>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

TEST(FullDiskTest, RebuildingOntoAFullDeviceReportsNoSpace)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    TempDir dir;
    const std::string old = PatternBytes(300, 9);
    dir.Put(L"old.bin", old);
    MemoryDeltaIO store;
    ASSERT_EQ(FromBlob(store, MakeDeltaBlob(dir, old, "new:" + old, 64)), RESULT_OK);
    LogCapture capture;
    EXPECT_EQ(Korrin().ApplyFileDelta(dir.Path(L"old.bin"), FileDelta(&store), L"/dev/full"),
              RESULT_WRITE_ENOSPC);
    EXPECT_TRUE(IsErrorChain(capture.Texts(),
                             {ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::FileDelta::GenerateFile"),
                              ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::Korrin::ApplyFileDelta",
                                          dir.Path(L"old.bin"))}));
    EXPECT_EQ(dir.ReadFile(L"old.bin"), old);
}

TEST(InPlaceLinkTest, ALinkAtTheTemporaryNameLeadsNowhere)
{
    const std::string old = PatternBytes(5000, 3);
    const std::string now = "new:" + old;
    for (const std::string& target : {old, std::string("another old file")}) {
        TempDir dir;
        dir.Put(L"target", target);
        dir.Put(L"elsewhere", "not to be touched");
        std::filesystem::create_symlink(dir.NativePath(L"elsewhere"), dir.NativePath(L"target.dfttemp"));
        MemoryDeltaIO store;
        ASSERT_EQ(FromBlob(store, MakeDeltaBlob(dir, old, now, 64)), RESULT_OK);
        const bool fits = target == old;
        EXPECT_EQ(Korrin().ApplyFileDelta(dir.Path(L"target"), FileDelta(&store)), fits ? RESULT_OK : RESULT_FAILED);
        EXPECT_EQ(dir.ReadFile(L"elsewhere"), "not to be touched");
        EXPECT_TRUE(dir.ReadFile(L"target") == (fits ? now : target)) << fits;
        EXPECT_FALSE(std::filesystem::is_symlink(dir.NativePath(L"target")));
        EXPECT_EQ(dir.Entries(), 2u);
    }
}

} // namespace
