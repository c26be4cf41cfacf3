// Names between bytes and wide strings: the one definition, shared by the POSIX platform
// layer and, at the source level, by the command-line tool, so that both spell every name
// alike. Well-formed UTF-8 is decoded; each byte that is not part of a well-formed sequence
// becomes a lone low surrogate, U+DC80 to U+DCFF, which no well-formed UTF-8 yields, and turns
// back into that byte on the way out. So every POSIX name, which is bytes, has a wide
// spelling that comes back to the same bytes, and two names never share one. No OS here.
#ifndef KORRIN_PLATFORM_UTF8NAMES_H
#define KORRIN_PLATFORM_UTF8NAMES_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace Halvorn {
namespace Utf8Names {

constexpr std::uint32_t kByteEscape = 0xDC00;  // plus the byte, 0x80 to 0xFF

inline void Put(std::wstring& out, std::uint32_t cp)
{
    // Where wchar_t is 16 bits wide it holds UTF-16.
    if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

// Appends the wide spelling of `count` bytes; false when some of them had to be escaped.
inline bool Decode(const char* bytes, std::size_t count, std::wstring& out)
{
    static constexpr std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};  // longer forms are invalid
    bool wellFormed = true;
    for (std::size_t i = 0; i < count;) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t extra =
            lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 4;
        bool valid = extra < 4 && count - i > extra;
        std::uint32_t cp = extra == 0 ? lead : lead & (0x7Fu >> (extra + 1));
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (valid && cp >= kLeast[extra] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            Put(out, cp);
            i += extra + 1;
        } else {
            Put(out, kByteEscape + lead);
            wellFormed = false;
            ++i;
        }
    }
    return wellFormed;
}

// Appends the bytes that `count` wide characters spell. Another value that is no code point
// (an unpaired surrogate outside the escapes, a value past U+10FFFF) becomes `replacement`,
// or fails the whole when that is 0.
inline bool Encode(const wchar_t* wide, std::size_t count, std::string& out, std::uint32_t replacement)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t cp = static_cast<std::uint32_t>(wide[i]);
        if (sizeof(wchar_t) == 2) {
            cp &= 0xFFFF;
            const std::uint32_t low = i + 1 < count ? static_cast<std::uint32_t>(wide[i + 1]) & 0xFFFF : 0;
            if (cp >= 0xD800 && cp <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (cp >= kByteEscape + 0x80 && cp <= kByteEscape + 0xFF) {
            out += static_cast<char>(cp - kByteEscape);
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            if (replacement == 0)
                return false;
            cp = replacement;
        }
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

} // namespace Utf8Names
} // namespace Halvorn

#endif
