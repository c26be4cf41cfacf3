#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/GenerateTempFilename.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Kernel.h"
#include "support/Faults.h"
#include "support/KernelConventions.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using KorrinTest::FaultyKernel;
using KorrinTest::KernelCall;
using KorrinTest::TempDir;

TEST(GenerateTempFilenameTest, EachCallMakesANewEmptyFileInTheTemporaryDirectory)
{
    wchar_t buffer[260];
    const std::uint32_t length = Halvorn::Platform::CurrentKernel().TempDirectory(260, buffer);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, 260u);
    const std::wstring prefix = std::wstring(buffer, length) + KorrinTest::TempNameStart(L"diff");

    std::wstring names[2];
    for (std::wstring& name : names)
        ASSERT_EQ(GenerateTempFilename(name), RESULT_OK);
    EXPECT_NE(names[0], names[1]);
    for (const std::wstring& name : names) {
        const std::filesystem::path path = TempDir::FromWide(name);
        EXPECT_EQ(name.compare(0, prefix.size(), prefix), 0) << name;
        ASSERT_GT(name.size(), prefix.size() + 4) << name;
        EXPECT_EQ(name.substr(name.size() - 4), L".tmp") << name;
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << name;
        EXPECT_EQ(std::filesystem::file_size(path), 0u) << name;
        std::filesystem::remove(path);
    }
}

TEST(GenerateTempFilenameTest, NoDirectoryOrNoFileFailsAndLeavesTheNameAlone)
{
    std::vector<int> sites;
    for (KernelCall call : {KernelCall::TempDirectory, KernelCall::UniqueTempFile}) {
        FaultyKernel kernel;
        kernel.FailCall(call, ENOSPC);
        KorrinTest::LogCapture capture;
        std::wstring name = L"unchanged";
        EXPECT_EQ(GenerateTempFilename(name), RESULT_FAILED);
        EXPECT_EQ(name, L"unchanged");
        const std::vector<std::wstring> texts = capture.Texts();
        EXPECT_TRUE(KorrinTest::IsErrorChain(texts, {L"Error 32768 at func: GenerateTempFilename"}));
        sites.push_back(texts.empty() ? -1 : KorrinTest::LineNumberOf(texts[0]));
        // Without a directory, no file is attempted.
        EXPECT_EQ(kernel.Calls(KernelCall::UniqueTempFile), call == KernelCall::UniqueTempFile ? 1 : 0);
    }
    EXPECT_NE(sites[0], sites[1]);
}

} // namespace
