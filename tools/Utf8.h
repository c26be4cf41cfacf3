// Names pass through the tool as UTF-8 and reach the library as wide strings, which it
// turns back into the system's encoding; log lines come back wide.
#ifndef KORRIN_TOOLS_UTF8_H
#define KORRIN_TOOLS_UTF8_H

#include <string>

namespace Halvorn {
namespace Tool {

// Bytes that are not UTF-8 are kept as platform/Utf8Names.h says, so that every POSIX name
// reaches the library; false for them where names are UTF-16 (Windows), as no file has them.
bool ToWide(const std::string& utf8, std::wstring& wide);
// Those escapes become their bytes again; what else cannot be encoded comes out as U+FFFD.
std::string ToUtf8(const std::wstring& wide);

} // namespace Tool
} // namespace Halvorn

#endif
