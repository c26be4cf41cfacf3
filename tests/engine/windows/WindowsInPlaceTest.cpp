// In-place application against Windows' rules for replacing a file that exists or is open.
// Names that only the wide calls can spell travel the whole road in ../RoadTest.cpp.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include <Vantrel/Vantrel.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

const std::wstring kApply = L"Halvorn::Vantrel::Korrin::ApplyFileDelta";
const std::wstring kEnd = ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::MemoryDeltaIO::ReadDelta");

// The target opened by someone else, who lets others read and write it but not delete it.
std::unique_ptr<void, decltype(&::CloseHandle)> OpenElsewhere(const std::wstring& path)
{
    return {::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
            &::CloseHandle};
}

// Windows replaces an existing file by a move only when asked to, and not at all while
// someone has it open without allowing deletion; then the copy takes over, and the log
// carries the system's own error number. (A move failing for another reason is in
// ../EngineFailureTest.cpp.)
TEST(WindowsInPlaceTest, TheMoveReplacesTheTargetOrTheCopyTakesOver)
{
    TempDir dir;
    const std::string old = PatternBytes(9000, 3);
    const std::string now = "head" + old.substr(100, 5000) + PatternBytes(700, 4);
    const std::string blob = MakeDeltaBlob(dir, old, now, 256);
    const std::wstring target = dir.Path(L"target.bin");
    for (bool openElsewhere : {false, true}) {
        SCOPED_TRACE(openElsewhere ? "target open elsewhere" : "existing target");
        dir.Put(L"target.bin", old);
        FaultyKernel kernel; // counts the calls, fails none
        std::unique_ptr<void, decltype(&::CloseHandle)> reader(nullptr, &::CloseHandle);
        if (openElsewhere)
            reader = OpenElsewhere(target);
        ASSERT_NE(reader.get(), INVALID_HANDLE_VALUE);
        MemoryDeltaIO store;
        ASSERT_EQ(FromBlob(store, blob), RESULT_OK);
        FileDelta delta(&store);
        LogCapture capture;
        EXPECT_EQ(Korrin().ApplyFileDelta(target, delta), RESULT_OK);
        const std::vector<std::wstring> texts = capture.Texts();
        reader.reset();
        EXPECT_EQ(kernel.Calls(KernelCall::MoveReplacing), 1);
        EXPECT_EQ(kernel.Calls(KernelCall::CopyOver), openElsewhere ? 1 : 0);
        // An open file refuses the move as access denied or as a sharing violation.
        const auto moved = [&](DWORD refusal) {
            const std::wstring moveFailed = ErrorPrefix(
                RESULT_FAILED, kApply, L"file move failed. Windows error code: " + std::to_wstring(refusal));
            return IsErrorChain(texts, openElsewhere ? std::vector<std::wstring>{kEnd, moveFailed}
                                                     : std::vector<std::wstring>{kEnd});
        };
        EXPECT_TRUE(moved(ERROR_ACCESS_DENIED) || moved(ERROR_SHARING_VIOLATION))
            << moved(ERROR_SHARING_VIOLATION).message();
        EXPECT_EQ(dir.ReadFile(L"target.bin"), now);
        EXPECT_EQ(dir.Entries(), 1u);
    }
}

} // namespace
