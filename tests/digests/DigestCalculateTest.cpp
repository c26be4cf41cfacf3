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

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using Halvorn::Vantrel::SHA1Digest;
using KorrinTest::FaultyRuntime;
using KorrinTest::FinishedSha1;
using KorrinTest::LogCapture;
using KorrinTest::RuntimeCall;
using KorrinTest::TempDir;

TEST(DigestCalculate, EmptyAndMultiChunkFilesGiveTheFinishedSha1)
{
    TempDir dir;
    const std::string bytes = KorrinTest::PatternBytes(4097);
    dir.WriteFile(L"empty", "");
    dir.WriteFile(L"4097", bytes);

    SHA1Digest digest;
    ASSERT_EQ(digest_calculate(dir.Path(L"empty"), digest), RESULT_OK);
    EXPECT_TRUE(digest == FinishedSha1(""));
    FaultyRuntime runtime;
    ASSERT_EQ(digest_calculate(dir.Path(L"4097"), digest), RESULT_OK);
    EXPECT_TRUE(digest == FinishedSha1(bytes));     // finished: == only holds for a finished left side
    EXPECT_EQ(runtime.Calls(RuntimeCall::Read), 3); // chunks of 4096: 4096, 1, then the end
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
}

TEST(DigestCalculate, MissingOrUnreadableFilesFailSilentlyAndLeaveTheDigest)
{
    TempDir dir;
    dir.WriteFile(L"file", std::string(10000, 'y'));
    const SHA1Digest before = FinishedSha1("before");
    LogCapture capture;

    SHA1Digest digest = before;
    EXPECT_EQ(digest_calculate(dir.Path(L"missing"), digest), RESULT_FAILED);
    EXPECT_TRUE(digest == before);

    FaultyRuntime runtime;
    runtime.FailCall(RuntimeCall::Read, EIO, 2);
    EXPECT_EQ(digest_calculate(dir.Path(L"file"), digest), RESULT_FAILED);
    EXPECT_TRUE(digest == before);
    EXPECT_EQ(runtime.Calls(RuntimeCall::Close), 1);
    EXPECT_TRUE(capture.Lines().empty());
}

} // namespace
