#include "platform/posix/Utf8Path.h"

#include <cstdint>

namespace Halvorn {
namespace Platform {

namespace {

// wchar_t is UTF-32 on the POSIX systems we build for, UTF-16 elsewhere; take a surrogate
// pair where wchar_t is 16 bits wide.
bool NextCodePoint(const wchar_t*& p, const wchar_t* end, std::uint32_t& cp)
{
    cp = static_cast<std::uint32_t>(*p++);
    if (sizeof(wchar_t) == 2) {
        cp &= 0xFFFFu;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (p == end)
                return false;
            const std::uint32_t low = static_cast<std::uint32_t>(*p) & 0xFFFFu;
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            ++p;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            return true;
        }
    }
    return cp != 0 && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

} // namespace

bool ToUtf8Path(const std::wstring& path, std::string& out)
{
    out.clear();
    out.reserve(path.size());
    const wchar_t* p = path.data();
    const wchar_t* end = p + path.size();
    while (p != end) {
        std::uint32_t cp;
        if (!NextCodePoint(p, end, cp))
            return false;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return true;
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
    std::size_t i = 0;
    while (i < path.size()) {
        const unsigned char lead = static_cast<unsigned char>(path[i]);
        std::uint32_t cp;
        std::size_t extra;
        if (lead < 0x80) {
            cp = lead;
            extra = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            cp = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            cp = lead & 0x0F;
            extra = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            cp = lead & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (path.size() - i - 1 < extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const unsigned char c = static_cast<unsigned char>(path[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        static const std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0)
            return false;
        if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
        i += extra + 1;
    }
    return true;
}

} // namespace Platform
} // namespace Halvorn
