// The guards that close a file on every way out of an operation, early returns and
// exceptions alike, and never close what was not opened.
#include <new>

#include <gtest/gtest.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/TempDir.h"

namespace {

using Halvorn::ScopedFileDescriptor;
using Halvorn::ScopedFileStream;
using Halvorn::Platform::OpenMode;
using KorrinTest::FaultyRuntime;
using KorrinTest::RuntimeCall;

TEST(ScopedResource, ClosesWhatItHoldsExactlyOnceAndNothingElse)
{
    KorrinTest::TempDir dir;
    dir.WriteFile(L"a", "abc");
    FaultyRuntime runtime;
    auto& rt = Halvorn::Platform::CurrentRuntime();
    try {
        ScopedFileDescriptor guard(rt.Open(dir.Path(L"a"), OpenMode::Read));
        ASSERT_GE(guard.Get(), 0);
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    {
        ScopedFileStream guard(rt.OpenStream(dir.Path(L"a")));
        ASSERT_NE(guard.Get(), nullptr);
    }
    {
        ScopedFileDescriptor descriptor(-1);
        ScopedFileStream stream(nullptr);
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 1);
}

TEST(ScopedResource, ReleaseHandsTheStreamBackOpen)
{
    KorrinTest::TempDir dir;
    dir.WriteFile(L"a", "abc");
    FaultyRuntime runtime;
    auto& rt = Halvorn::Platform::CurrentRuntime();
    std::FILE* kept;
    {
        ScopedFileStream guard(rt.OpenStream(dir.Path(L"a")));
        kept = guard.Release();
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 0);
    ASSERT_NE(kept, nullptr);
    char byte = 0;
    EXPECT_EQ(rt.ReadStream(&byte, 1, 1, kept), 1u);
    EXPECT_EQ(byte, 'a');
    rt.CloseStream(kept);
}

} // namespace
