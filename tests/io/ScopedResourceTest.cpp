#include <gtest/gtest.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"
#include "support/FaultyRuntime.h"
#include "support/TempDir.h"

namespace {

using Halvorn::ScopedFileDescriptor;
using Halvorn::ScopedFileStream;
using KorrinTest::FaultyRuntime;
using KorrinTest::RuntimeCall;
using KorrinTest::TempDir;

int Failing(ScopedFileDescriptor& guard)
{
    // Every early return of an operation must still close the file.
    if (guard.Get() >= 0)
        return 1;
    return 0;
}

TEST(ScopedResource, ClosesAValidDescriptorExactlyOnceOnEveryWayOut)
{
    TempDir dir;
    dir.WriteFile(L"a", "abc");
    FaultyRuntime runtime;
    auto& rt = Halvorn::Platform::CurrentRuntime();
    {
        ScopedFileDescriptor guard(rt.Open(dir.Path(L"a"), Halvorn::Platform::OpenMode::Read));
        EXPECT_EQ(Failing(guard), 1);
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);

    try {
        ScopedFileDescriptor guard(rt.Open(dir.Path(L"a"), Halvorn::Platform::OpenMode::Read));
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 2);
}

TEST(ScopedResource, InvalidHandlesAreOwnedButNotClosed)
{
    FaultyRuntime runtime;
    {
        ScopedFileDescriptor guard(-1);
    }
    {
        ScopedFileStream guard(nullptr);
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 0);
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 0);
}

TEST(ScopedResource, ClosesAStreamOnceAndReleaseHandsItBack)
{
    TempDir dir;
    dir.WriteFile(L"a", "abc");
    FaultyRuntime runtime;
    auto& rt = Halvorn::Platform::CurrentRuntime();
    {
        ScopedFileStream guard(rt.OpenStream(dir.Path(L"a")));
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 1);

    std::FILE* kept;
    {
        ScopedFileStream guard(rt.OpenStream(dir.Path(L"a")));
        kept = guard.Release();
    }
    EXPECT_EQ(runtime.Calls(RuntimeCall::CloseStream), 1);
    ASSERT_NE(kept, nullptr);
    char byte = 0;
    EXPECT_EQ(rt.ReadStream(&byte, 1, 1, kept), 1u);
    EXPECT_EQ(byte, 'a');
    rt.CloseStream(kept);
}

} // namespace
