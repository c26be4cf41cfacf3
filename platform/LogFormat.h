// Renders a wide printf-style format the same way on every platform: %d takes a 32-bit
// int, %s a wide string, %S a narrow string, %% a percent sign. The platform's own wide
// printf cannot be used, since C libraries disagree on what %s and %S mean. Anything else
// after a percent sign is copied as it stands.
#ifndef KORRIN_PLATFORM_LOGFORMAT_H
#define KORRIN_PLATFORM_LOGFORMAT_H

#include <cstdarg>
#include <string>

namespace Halvorn {
namespace Platform {

std::wstring RenderLogLine(const wchar_t* format, std::va_list values);

} // namespace Platform
} // namespace Halvorn

#endif
