#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/DigestCalculate.h>
#include <Vantrel/ResultCodes.h>

#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Sha1Of.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace {

using namespace KorrinTest;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;

// Empty and multi-chunk files give the finished SHA-1 (== only holds for a finished left side),
// read in chunks of 4096 and closed. A missing or unreadable file fails without a line and
// leaves the caller's digest.
TEST(DigestCalculate, FilesGiveTheirFinishedSha1AndFailuresLeaveTheDigest)
{
    TempDir dir;
    const std::string bytes = PatternBytes(4097);
    dir.WriteFile(L"empty", "");
    dir.WriteFile(L"4097", bytes);
    Halvorn::Vantrel::SHA1Digest digest;
    ASSERT_EQ(digest_calculate(dir.Path(L"empty"), digest), RESULT_OK);
    EXPECT_TRUE(digest == FinishedSha1(""));
    LogCapture capture;
    for (int failingRead : {0, 2}) {
        FaultyRuntime runtime;
        if (failingRead != 0)
            runtime.FailCall(RuntimeCall::Read, EIO, failingRead);
        EXPECT_EQ(digest_calculate(dir.Path(L"4097"), digest), failingRead ? RESULT_FAILED : RESULT_OK);
        EXPECT_TRUE(digest == FinishedSha1(bytes));
        EXPECT_EQ(runtime.Calls(RuntimeCall::Read), failingRead ? 2 : 3); // 4096, 1, then the end
        EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    }
    EXPECT_EQ(digest_calculate(dir.Path(L"missing"), digest), RESULT_FAILED);
    EXPECT_TRUE(digest == FinishedSha1(bytes));
    EXPECT_TRUE(capture.Lines().empty());
}

} // namespace
