#include "platform/posix/Utf8Path.h"

#include "platform/Utf8Names.h"

namespace Halvorn {
namespace Platform {

bool ToUtf8Path(const std::wstring& path, std::string& out)
{
    out.clear();
    // A zero would cut the name short.
    return path.find(L'\0') == std::wstring::npos && Utf8Names::Encode(path.data(), path.size(), out, 0);
}

bool ToUtf8Path(const wchar_t* path, std::string& out)
{
    if (path == nullptr) {
        out.clear();
        return false;
    }
    return ToUtf8Path(std::wstring(path), out);
}

bool FromUtf8Path(const std::string& path, std::wstring& out)
{
    out.clear();
    if (path.find('\0') != std::string::npos)
        return false;
    Utf8Names::Decode(path.data(), path.size(), out);
    return true;
}

} // namespace Platform
} // namespace Halvorn
