// Captures every log line for the lifetime of the object, then restores the sink it replaced;
// and matchers for the library's error lines, whatever their source line numbers.
#ifndef KORRIN_TESTS_SUPPORT_LOGCAPTURE_H
#define KORRIN_TESTS_SUPPORT_LOGCAPTURE_H

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vantrel/Logging.h"

namespace KorrinTest {

struct LogLine {
    std::wstring logger;
    std::int32_t severity;
    std::wstring text;
};

class LogCapture {
public:
    LogCapture() { previous_ = LoggerRegistry::setSink(&LogCapture::Receive, this, &previousContext_); }
    ~LogCapture() { LoggerRegistry::setSink(previous_, previousContext_); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<LogLine>& Lines() const { return lines_; }
    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const LogLine& line : lines_)
            texts.push_back(line.text);
        return texts;
    }

private:
    static void Receive(void* context, const wchar_t* logger, std::int32_t severity, const wchar_t* line)
    {
        static_cast<LogCapture*>(context)->lines_.push_back({logger, severity, line});
    }

    std::vector<LogLine> lines_;
    LogSink previous_ = nullptr;
    void* previousContext_ = nullptr;
};

// The text of a library error line up to " line: ": the code, the message in quotes when
// there is one, and the reporting function.
inline std::wstring ErrorPrefix(int code, const std::wstring& function, const std::wstring& message = L"")
{
    return L"Error " + std::to_wstring(code) + L" " + (message.empty() ? L"" : L"\"" + message + L"\" ") +
           L"at func: " + function;
}

// Whether `text` is `prefix` followed by " line: " and a decimal number.
inline bool IsErrorLine(const std::wstring& text, const std::wstring& prefix)
{
    const std::wstring head = prefix + L" line: ";
    return text.size() > head.size() && text.compare(0, head.size(), head) == 0 &&
           text.find_first_not_of(L"0123456789", head.size()) == std::wstring::npos;
}

// The source line number an error line names, for telling report sites apart; -1 when none.
inline int LineNumberOf(const std::wstring& text)
{
    const std::size_t marker = text.rfind(L" line: ");
    return marker == std::wstring::npos
               ? -1
               : static_cast<int>(std::wcstol(text.c_str() + marker + 7, nullptr, 10));
}

// Success when `texts` are exactly the error lines `prefixes` (see ErrorPrefix), in order.
inline ::testing::AssertionResult IsErrorChain(const std::vector<std::wstring>& texts,
                                               const std::vector<std::wstring>& prefixes)
{
    bool matches = texts.size() == prefixes.size();
    for (std::size_t i = 0; matches && i < texts.size(); ++i)
        matches = IsErrorLine(texts[i], prefixes[i]);
    if (matches)
        return ::testing::AssertionSuccess();
    std::wstring shown = L"logged:";
    for (const std::wstring& text : texts)
        shown += L"\n  " + text;
    shown += L"\nexpected:";
    for (const std::wstring& prefix : prefixes)
        shown += L"\n  " + prefix + L" line: N";
    return ::testing::AssertionFailure() << shown;
}

} // namespace KorrinTest

#endif
