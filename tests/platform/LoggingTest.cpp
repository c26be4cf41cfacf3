#include <climits>

#include <gtest/gtest.h>

#include "Vantrel/Logging.h"
#include "support/LogCapture.h"

namespace {

using KorrinTest::LogCapture;

// %d a 32-bit int, %s a wide string, %S a narrow one, on every platform; a percent sign,
// unknown conversions and null strings (which must not crash the logger that reports the
// failure) are shown as text. Lines go to the sink with the logger's name and the severity.
TEST(Logging, RendersTheConversionsTheSameOnEveryPlatform)
{
    LogCapture capture;
    ILogger* logger = LoggerRegistry::getLogger(L"test.logging");
    logger->logf(-1, L"Error %d \"%s\" at func: %S line: %d", -11021, L"C:\\data\\a.bin",
                 "Halvorn::Vantrel::Korrin::ApplyFileDelta", 77);
    logger->logf(3, L"%d %d %d", INT_MIN, INT_MAX, 0);
    logger->logf(0, L"%s|%S", L"\u00e9t\u00e9 \u6587\u4ef6", "narrow");
    logger->logf(0, L"100%% done, %x and %q%", 5);
    logger->logf(0, L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr));
    EXPECT_EQ(
        capture.Texts(),
        (std::vector<std::wstring>{
            L"Error -11021 \"C:\\data\\a.bin\" at func: Halvorn::Vantrel::Korrin::ApplyFileDelta line: 77",
            L"-2147483648 2147483647 0", L"\u00e9t\u00e9 \u6587\u4ef6|narrow", L"100% done, %x and %q%",
            L"(null) (null)"}));
    EXPECT_EQ(capture.Lines()[0].logger, L"test.logging");
    EXPECT_EQ(capture.Lines()[0].severity, -1);
    EXPECT_EQ(capture.Lines()[1].severity, 3);
}

// One logger per name for the whole process. Without a sink lines are dropped; a sink swapped
// in and out again gets the lines of its own time.
TEST(Logging, OneLoggerPerNameAndLinesGoToTheSinkOfTheirTime)
{
    ILogger* first = LoggerRegistry::getLogger(L"test.a");
    EXPECT_EQ(first, LoggerRegistry::getLogger(L"test.a"));
    EXPECT_NE(first, LoggerRegistry::getLogger(L"test.b"));
    EXPECT_STREQ(first->name(), L"test.a");

    void* savedContext = nullptr;
    const LogSink saved = LoggerRegistry::setSink(nullptr, nullptr, &savedContext);
    first->logf(0, L"dropped"); // must not crash or print
    {
        LogCapture outer;
        {
            LogCapture inner;
            first->logf(0, L"to inner");
            EXPECT_EQ(inner.Lines().size(), 1u);
        }
        first->logf(0, L"to outer");
        EXPECT_EQ(outer.Texts(), std::vector<std::wstring>{L"to outer"});
    }
    LoggerRegistry::setSink(saved, savedContext);
}

} // namespace
