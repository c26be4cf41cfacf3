#include <climits>

#include <gtest/gtest.h>

#include "platform/Logging.h"
#include "support/LogCapture.h"

namespace {

using KorrinTest::LogCapture;

TEST(Logging, RendersTheThreeConversionsTheSameOnEveryPlatform)
{
    LogCapture capture;
    ILogger* logger = LoggerRegistry::getLogger(L"test.logging");
    logger->logf(-1, L"Error %d \"%s\" at func: %S line: %d", -11021, L"C:\\data\\a.bin",
                 "Halvorn::Vantrel::Korrin::ApplyFileDelta", 77);
    logger->logf(3, L"%d %d %d", INT_MIN, INT_MAX, 0);
    logger->logf(0, L"%s|%S", L"\u00e9t\u00e9 \u6587\u4ef6", "narrow");

    ASSERT_EQ(capture.Lines().size(), 3u);
    EXPECT_EQ(capture.Lines()[0].text,
              L"Error -11021 \"C:\\data\\a.bin\" at func: Halvorn::Vantrel::Korrin::ApplyFileDelta line: 77");
    EXPECT_EQ(capture.Lines()[0].logger, L"test.logging");
    EXPECT_EQ(capture.Lines()[0].severity, -1);
    EXPECT_EQ(capture.Lines()[1].text, L"-2147483648 2147483647 0");
    EXPECT_EQ(capture.Lines()[1].severity, 3);
    EXPECT_EQ(capture.Lines()[2].text, L"\u00e9t\u00e9 \u6587\u4ef6|narrow");
}

// A null string must not crash the logger that reports the failure.
TEST(Logging, PercentSignsUnknownConversionsAndNullStringsAreShownAsText)
{
    LogCapture capture;
    ILogger* logger = LoggerRegistry::getLogger(L"test.logging");
    logger->logf(0, L"100%% done, %x and %q%", 5);
    logger->logf(0, L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr));
    EXPECT_EQ(capture.Texts(), (std::vector<std::wstring>{L"100% done, %x and %q%", L"(null) (null)"}));
}

TEST(Logging, OneLoggerPerNameForTheWholeProcess)
{
    ILogger* first = LoggerRegistry::getLogger(L"test.a");
    EXPECT_EQ(first, LoggerRegistry::getLogger(L"test.a"));
    EXPECT_NE(first, LoggerRegistry::getLogger(L"test.b"));
    EXPECT_STREQ(first->name(), L"test.a");
}

TEST(Logging, LinesAreDroppedWithoutASinkAndTheSinkCanBeSwapped)
{
    void* savedContext = nullptr;
    const LogSink saved = LoggerRegistry::setSink(nullptr, nullptr, &savedContext);
    LoggerRegistry::getLogger(L"test.logging")->logf(0, L"dropped"); // must not crash or print
    {
        LogCapture outer;
        {
            LogCapture inner;
            LoggerRegistry::getLogger(L"test.logging")->logf(0, L"to inner");
            EXPECT_EQ(inner.Lines().size(), 1u);
        }
        LoggerRegistry::getLogger(L"test.logging")->logf(0, L"to outer");
        ASSERT_EQ(outer.Lines().size(), 1u);
        EXPECT_EQ(outer.Lines()[0].text, L"to outer");
    }
    LoggerRegistry::setSink(saved, savedContext);
}

} // namespace
