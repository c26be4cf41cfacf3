#include <gtest/gtest.h>

#include "Vantrel/engine/ReportError.h"
#include "support/LogCapture.h"

namespace {

// The two line formats, without a message and with it quoted after the code, each report a
// line of its own in order, to the library's logger as errors; the code comes back.
TEST(ReportError, WritesOneLineInEitherFormatAndReturnsTheCode)
{
    KorrinTest::LogCapture capture;
    EXPECT_EQ(Halvorn::Vantrel::ReportError(32768, nullptr, "GenerateTempFilename", 510), 32768);
    EXPECT_EQ(Halvorn::Vantrel::ReportError(-11021, L"C:\\data\\a.bin",
                                            "Halvorn::Vantrel::Korrin::ApplyFileDelta", 77),
              -11021);
    EXPECT_EQ(
        capture.Texts(),
        (std::vector<std::wstring>{
            L"Error 32768 at func: GenerateTempFilename line: 510",
            L"Error -11021 \"C:\\data\\a.bin\" at func: Halvorn::Vantrel::Korrin::ApplyFileDelta line: 77"}));
    for (const KorrinTest::LogLine& line : capture.Lines()) {
        EXPECT_EQ(line.logger, L"tervasso.korrin");
        EXPECT_EQ(line.severity, -1);
    }
}

} // namespace
