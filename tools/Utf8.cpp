#include "Utf8.h"

// The codec is the platform layer's own, shared at the source level (it is no part of the
// library's interface), so that a name reaches the library exactly as the tool decoded it.
#include "platform/Utf8Names.h"

namespace Halvorn {
namespace Tool {

bool ToWide(const std::string& utf8, std::wstring& wide)
{
    wide.clear();
    // Where wchar_t is UTF-32 names are bytes, and a wide string can spell any of them; where
    // it is UTF-16, as are the system's names, the escapes would name no file.
    return Utf8Names::Decode(utf8.data(), utf8.size(), wide) || sizeof(wchar_t) == 4;
}

std::string ToUtf8(const std::wstring& wide)
{
    std::string out;
    out.reserve(wide.size());
    Utf8Names::Encode(wide.data(), wide.size(), out, 0xFFFD);
    return out;
}

} // namespace Tool
} // namespace Halvorn
