// Names pass through the tool as UTF-8 and reach the library as wide strings, which it
// turns back into the system's encoding; log lines come back wide.
#ifndef KORRIN_TOOLS_UTF8_H
#define KORRIN_TOOLS_UTF8_H

#include <string>

namespace Halvorn {
namespace Tool {

// False for bytes that are not UTF-8 (or encode a zero): such a name cannot reach the library.
bool ToWide(const std::string& utf8, std::wstring& wide);
// What cannot be encoded comes out as U+FFFD.
std::string ToUtf8(const std::wstring& wide);

} // namespace Tool
} // namespace Halvorn

#endif
