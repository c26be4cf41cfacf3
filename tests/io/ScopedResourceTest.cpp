// The guards that close a file on every way out of an operation, early returns and
// exceptions alike, and never close what was not opened or was released.
#include <new>

#include <gtest/gtest.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/TempDir.h"

namespace {

using namespace KorrinTest;

TEST(ScopedResource, ClosesWhatItHoldsExactlyOnceAndNothingElse)
{
    TempDir dir;
    dir.WriteFile(L"a", "abc");
    FaultyRuntime runtime;
    auto& rt = Halvorn::Platform::CurrentRuntime();
    try {
        Halvorn::ScopedFileDescriptor guard(rt.Open(dir.Path(L"a"), Halvorn::Platform::OpenMode::Read));
        ASSERT_GE(guard.Get(), 0);
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    std::FILE* kept = nullptr;
    {
        Halvorn::ScopedFileStream closed(rt.OpenStream(dir.Path(L"a")));
        Halvorn::ScopedFileStream released(rt.OpenStream(dir.Path(L"a")));
        ASSERT_NE(closed.Get(), nullptr);
        kept = released.Release();
        Halvorn::ScopedFileDescriptor descriptor(-1);
        Halvorn::ScopedFileStream stream(nullptr);
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 1);
    ASSERT_NE(kept, nullptr);
    char byte = 0;
    EXPECT_EQ(rt.ReadStream(&byte, 1, 1, kept), 1u);
    EXPECT_EQ(byte, 'a');
    rt.CloseStream(kept);
}

} // namespace
