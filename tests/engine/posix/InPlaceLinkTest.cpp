// In place, the temporary name beside the target is the library's own: a symbolic link found
// there is removed, never written through, whether the rebuild succeeds or fails.
#include <filesystem>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Road.h"
#include "support/TestData.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

TEST(InPlaceLinkTest, ALinkAtTheTemporaryNameLeadsNowhere)
{
    const std::string old = PatternBytes(5000, 3);
    const std::string now = "new:" + old;
    for (const bool fits : {true, false}) {
        SCOPED_TRACE(fits ? "the delta fits" : "the delta was made against another file");
        TempDir dir;
        const std::string target = fits ? old : "another old file";
        dir.WriteFile(L"target", target);
        dir.WriteFile(L"elsewhere", "not to be touched");
        std::filesystem::create_symlink(dir.NativePath(L"elsewhere"), dir.NativePath(L"target.dfttemp"));
        MemoryDeltaIO store;
        ASSERT_EQ(LoadDelta(store, MakeDeltaBlob(dir, old, now, 64)), RESULT_OK);
        EXPECT_EQ(Korrin().ApplyFileDelta(dir.Path(L"target"), FileDelta(&store)), fits ? RESULT_OK : RESULT_FAILED);
        EXPECT_EQ(dir.ReadFile(L"elsewhere"), "not to be touched");
        EXPECT_TRUE(dir.ReadFile(L"target") == (fits ? now : target));
        EXPECT_FALSE(std::filesystem::is_symlink(dir.NativePath(L"target")));
        EXPECT_EQ(dir.Entries(), 2u);
    }
}

} // namespace
