// Captures every log line for the lifetime of the object, then restores the sink it replaced.
#ifndef KORRIN_TESTS_SUPPORT_LOGCAPTURE_H
#define KORRIN_TESTS_SUPPORT_LOGCAPTURE_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Logging.h"

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
    // The text of every line, in order.
    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> texts;
        for (const LogLine& line : lines_)
            texts.push_back(line.text);
        return texts;
    }
    void Clear() { lines_.clear(); }

private:
    static void Receive(void* context, const wchar_t* logger, std::int32_t severity, const wchar_t* line)
    {
        static_cast<LogCapture*>(context)->lines_.push_back({logger, severity, line});
    }

    std::vector<LogLine> lines_;
    LogSink previous_ = nullptr;
    void* previousContext_ = nullptr;
};

// Matches a library error line whatever its source line number: the text up to "line: "
// must be `prefix` and a decimal number must follow.
inline bool IsErrorLine(const std::wstring& text, const std::wstring& prefix)
{
    const std::wstring marker = L" line: ";
    if (text.compare(0, prefix.size(), prefix) != 0 || text.size() < prefix.size() + marker.size())
        return false;
    if (text.compare(prefix.size(), marker.size(), marker) != 0)
        return false;
    const std::size_t digits = prefix.size() + marker.size();
    if (digits == text.size())
        return false;
    for (std::size_t i = digits; i < text.size(); ++i)
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    return true;
}

} // namespace KorrinTest

#endif
