// A rebuild onto a device that is always full fails with the disk-full code.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/Road.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::ErrorPrefix;

TEST(FullDiskTest, RebuildingOntoAFullDeviceReportsNoSpace)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    KorrinTest::TempDir dir;
    const std::string old = KorrinTest::PatternBytes(300, 9);
    const std::wstring oldPath = dir.Path(L"old.bin");
    dir.WriteFile(L"old.bin", old);
    MemoryDeltaIO store;
    ASSERT_EQ(KorrinTest::LoadDelta(store, KorrinTest::MakeDeltaBlob(dir, old, "new:" + old, 64)), RESULT_OK);
    FileDelta delta(&store);
    KorrinTest::LogCapture capture;
    EXPECT_EQ(Korrin().ApplyFileDelta(oldPath, delta, L"/dev/full"), RESULT_WRITE_ENOSPC);
    EXPECT_TRUE(KorrinTest::IsErrorChain(
        capture.Texts(),
        {ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::FileDelta::GenerateFile"),
         ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::Korrin::ApplyFileDelta", oldPath)}));
    EXPECT_EQ(dir.ReadFile(L"old.bin"), old);
}

} // namespace
