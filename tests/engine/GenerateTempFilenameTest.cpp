#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/GenerateTempFilename.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Kernel.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using namespace KorrinTest;

// A call makes a new empty file in the temporary directory, named from "diff" and ending in
// ".tmp" (the kernel's tests show the names distinct). Without a directory, or without a file,
// the call fails from a site of its own and leaves the name alone; without a directory no file
// is attempted.
TEST(GenerateTempFilenameTest, EachCallMakesANewEmptyFileOrLeavesTheNameAlone)
{
    wchar_t buffer[260];
    const std::uint32_t length = Halvorn::Platform::CurrentKernel().TempDirectory(260, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 260u);
    const std::wstring start = std::wstring(buffer, length) + L"dif"; // all a system may keep of the prefix
    std::wstring name;
    ASSERT_EQ(GenerateTempFilename(name), Halvorn::Vantrel::RESULT_OK);
    const std::filesystem::path path = TempDir::FromWide(name);
    EXPECT_EQ(name.compare(0, start.size(), start), 0) << name;
    EXPECT_EQ(name.substr(name.size() - 4), L".tmp") << name;
    EXPECT_GT(name.size(), start.size() + 4) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(path) && std::filesystem::file_size(path) == 0) << name;
    std::filesystem::remove(path);

    std::set<int> sites;
    for (KernelCall call : {KernelCall::TempDirectory, KernelCall::UniqueTempFile}) {
        FaultyKernel kernel;
        kernel.FailCall(call, ENOSPC);
        LogCapture capture;
        std::wstring name = L"unchanged";
        EXPECT_EQ(GenerateTempFilename(name), Halvorn::Vantrel::RESULT_FAILED);
        EXPECT_EQ(name, L"unchanged");
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {L"Error 32768 at func: GenerateTempFilename"}));
        sites.insert(capture.Texts().empty() ? -1 : LineNumberOf(capture.Texts()[0]));
        EXPECT_EQ(kernel.Calls(KernelCall::UniqueTempFile), call == KernelCall::UniqueTempFile ? 1 : 0);
    }
    EXPECT_EQ(sites.size(), 2u);
}

} // namespace
