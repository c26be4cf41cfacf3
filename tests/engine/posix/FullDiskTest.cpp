// A rebuild onto a device that is always full fails with the disk-full code.
#include <filesystem>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/Road.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

TEST(FullDiskTest, RebuildingOntoAFullDeviceReportsNoSpace)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    TempDir dir;
    const std::string old = PatternBytes(300, 9);
    dir.WriteFile(L"old.bin", old);
    MemoryDeltaIO store;
    ASSERT_EQ(LoadDelta(store, MakeDeltaBlob(dir, old, "new:" + old, 64)), RESULT_OK);
    LogCapture capture;
    EXPECT_EQ(Korrin().ApplyFileDelta(dir.Path(L"old.bin"), FileDelta(&store), L"/dev/full"),
              RESULT_WRITE_ENOSPC);
    EXPECT_TRUE(IsErrorChain(capture.Texts(),
                             {ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::FileDelta::GenerateFile"),
                              ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::Korrin::ApplyFileDelta",
                                          dir.Path(L"old.bin"))}));
    EXPECT_EQ(dir.ReadFile(L"old.bin"), old);
}

} // namespace
