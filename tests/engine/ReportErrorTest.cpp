#include <gtest/gtest.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"
#include "support/LogCapture.h"

namespace {

using Halvorn::Vantrel::ReportError;
using KorrinTest::LogCapture;

TEST(ReportError, WithoutMessageWritesThePlainFormatAndReturnsTheCode)
{
    LogCapture capture;
    EXPECT_EQ(ReportError(32768, nullptr, "GenerateTempFilename", 510), 32768);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].text, L"Error 32768 at func: GenerateTempFilename line: 510");
    EXPECT_EQ(capture.Lines()[0].logger, L"tervasso.korrin");
    EXPECT_EQ(capture.Lines()[0].severity, -1);
}

TEST(ReportError, WithMessageQuotesItAfterTheCode)
{
    LogCapture capture;
    EXPECT_EQ(ReportError(Halvorn::Vantrel::RESULT_WRITE_ENOSPC, L"C:\\data\\a.bin",
                          "Halvorn::Vantrel::Korrin::ApplyFileDelta", 77),
              -11021);
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].text,
              L"Error -11021 \"C:\\data\\a.bin\" at func: Halvorn::Vantrel::Korrin::ApplyFileDelta line: 77");
}

TEST(ReportError, EveryReportIsItsOwnLineInOrder)
{
    LogCapture capture;
    ReportError(1, nullptr, "inner", 1);
    ReportError(1, L"path", "outer", 2);
    EXPECT_EQ(capture.Texts(), (std::vector<std::wstring>{L"Error 1 at func: inner line: 1",
                                                          L"Error 1 \"path\" at func: outer line: 2"}));
}

} // namespace
