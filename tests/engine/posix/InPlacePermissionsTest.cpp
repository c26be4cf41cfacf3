// A file patched in place keeps its permission bits, whether the new content is moved over it
// or, when the move fails, copied.
#include <cerrno>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/DeltaBlob.h"
#include "support/FaultyKernel.h"
#include "support/LogCapture.h"
#include "support/PosixEnvironment.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;

TEST(InPlacePermissionsTest, TheTargetKeepsItsPermissionBits)
{
    // New files get 0644 here, which differs from both modes below.
    KorrinTest::UmaskGuard mask(022);
    KorrinTest::TempDir dir;
    const std::string old = KorrinTest::PatternBytes(700, 5);
    const std::string now = "#!" + old.substr(0, 500) + old.substr(600);
    const std::string blob = KorrinTest::MakeDeltaBlob(dir, old, now, 64);
    for (mode_t mode : {0755, 0600}) {
        for (bool moveFails : {false, true}) {
            SCOPED_TRACE(testing::Message() << std::oct << mode << (moveFails ? " copied" : " moved"));
            dir.WriteFile(L"tool", old);
            KorrinTest::SetPermissions(dir.NativePath(L"tool"), mode);
            std::optional<KorrinTest::FaultyKernel> kernel;
            if (moveFails) {
                kernel.emplace();
                kernel->FailCall(KorrinTest::KernelCall::MoveReplacing, EXDEV);
            }
            MemoryDeltaIO store;
            ASSERT_EQ(KorrinTest::LoadDelta(store, blob), RESULT_OK);
            FileDelta delta(&store);
            KorrinTest::LogCapture quiet;
            EXPECT_EQ(Korrin().ApplyFileDelta(dir.Path(L"tool"), delta), RESULT_OK);
            EXPECT_EQ(dir.ReadFile(L"tool"), now);
            EXPECT_EQ(KorrinTest::PermissionsOf(dir.NativePath(L"tool")), mode);
            EXPECT_EQ(dir.Entries(), 1u);
        }
    }
}

} // namespace
