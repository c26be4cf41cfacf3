#include "platform/LogFormat.h"

#include <cstdint>

namespace Halvorn {
namespace Platform {

namespace {

void AppendInt(std::wstring& out, std::int32_t value)
{
    // Work in the negative range so that the smallest int needs no special case.
    wchar_t digits[12];
    int n = 0;
    std::int32_t rest = value < 0 ? value : -value;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' - rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0)
        out += L'-';
    while (n > 0)
        out += digits[--n];
}

// Narrow strings are the library's own function names, plain ASCII; bytes outside ASCII
// are widened as Latin-1 rather than dropped.
void AppendNarrow(std::wstring& out, const char* text)
{
    for (const char* p = text; *p != '\0'; ++p)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
}

} // namespace

std::wstring RenderLogLine(const wchar_t* format, std::va_list values)
{
    std::wstring out;
    if (format == nullptr)
        return out;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            out += *p;
            continue;
        }
        switch (p[1]) {
        case L'd':
            AppendInt(out, static_cast<std::int32_t>(va_arg(values, int)));
            ++p;
            break;
        case L's': {
            const wchar_t* text = va_arg(values, const wchar_t*);
            out += text != nullptr ? text : L"(null)";
            ++p;
            break;
        }
        case L'S': {
            const char* text = va_arg(values, const char*);
            AppendNarrow(out, text != nullptr ? text : "(null)");
            ++p;
            break;
        }
        case L'%':
            out += L'%';
            ++p;
            break;
        default:
            out += L'%';
            break;
        }
    }
    return out;
}

} // namespace Platform
} // namespace Halvorn
