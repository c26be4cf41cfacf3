// Conversion of wide paths to and from bytes at the POSIX boundary, against encodings written
// out by hand: UTF-8, the escapes of bytes that are not, and the wide values refused.
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/Utf8Path.h"

namespace {

using Halvorn::Platform::FromUtf8Path;
using Halvorn::Platform::ToUtf8Path;

// Each boundary of the one- to four-byte forms, and the code points around the surrogates.
TEST(Utf8PathTest, EncodesAndDecodesEveryLength)
{
    const struct {
        const char* what;
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {"empty", L"", ""},
        {"ascii", L"/tmp/a b~.txt", "/tmp/a b~.txt"},
        {"last one-byte", L"\u007f", "\x7f"},
        {"first two-byte", L"\u0080", "\xc2\x80"},
        {"last two-byte", L"\u07ff", "\xdf\xbf"},
        {"first three-byte", L"\u0800", "\xe0\xa0\x80"},
        {"before the surrogates", L"\ud7ff", "\xed\x9f\xbf"},
        {"after the surrogates", L"\ue000", "\xee\x80\x80"},
        {"last three-byte", L"\uffff", "\xef\xbf\xbf"},
        {"first four-byte", L"\U00010000", "\xf0\x90\x80\x80"},
        {"last code point", L"\U0010FFFF", "\xf4\x8f\xbf\xbf"},
        {"mixed", L"/d/\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin",
         "/d/\xc3\xa9t\xc3\xa9-\xe6\x96\x87\xe4\xbb\xb6-\xf0\x9f\x98\x80.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string utf8;
        ASSERT_TRUE(ToUtf8Path(c.wide, utf8));
        EXPECT_EQ(c.utf8, utf8);
        ASSERT_TRUE(ToUtf8Path(c.wide.c_str(), utf8));
        EXPECT_EQ(c.utf8, utf8);
        std::wstring wide;
        ASSERT_TRUE(FromUtf8Path(c.utf8, wide));
        EXPECT_EQ(c.wide, wide);
    }
}

// A wide path that names no UTF-8 path, or that a zero would cut short, is refused.
TEST(Utf8PathTest, RefusesWideValuesThatAreNoCodePoints)
{
    const struct {
        const char* what;
        std::wstring wide;
    } cases[] = {
        {"lone high surrogate", {L'a', wchar_t(0xD800), L'b'}},
        {"lone low surrogate", {L'a', wchar_t(0xDFFF), L'b'}},
        {"just below the byte escapes", {wchar_t(0xDC7F)}},
        // wchar_t is UTF-32 here: a surrogate pair is two unpaired surrogates.
        {"surrogate pair in UTF-32", {wchar_t(0xD83D), wchar_t(0xDE00)}},
        {"past the last code point", {L'a', wchar_t(0x110000)}},
        {"far past the last code point", {wchar_t(0x7FFFFFFF)}},
        {"embedded zero", std::wstring(L"/tmp/a\0b", 8)},
    };
    for (const auto& c : cases) {
        std::string utf8;
        EXPECT_FALSE(ToUtf8Path(c.wide, utf8)) << c.what;
    }
    std::string utf8 = "stale";
    EXPECT_FALSE(ToUtf8Path(static_cast<const wchar_t*>(nullptr), utf8));
    EXPECT_TRUE(utf8.empty());
}

// Every byte that is not part of a well-formed sequence is kept as its own escape, so that
// every name can be opened and overlong or truncated forms never alias another name.
TEST(Utf8PathTest, KeepsBytesThatAreNotUtf8AsEscapes)
{
    const wchar_t x = 0xDC00;  // plus the byte
    const struct {
        const char* what;
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"lone byte 80", "a\x80z", {L'a', wchar_t(x + 0x80), L'z'}},
        {"leading continuation", "\xbf", {wchar_t(x + 0xBF)}},
        {"overlong slash", "a\xc0\xaf", {L'a', wchar_t(x + 0xC0), wchar_t(x + 0xAF)}},
        {"overlong zero", "\xc0\x80", {wchar_t(x + 0xC0), wchar_t(x + 0x80)}},
        {"overlong three-byte", "\xe0\x9f\xbf", {wchar_t(x + 0xE0), wchar_t(x + 0x9F), wchar_t(x + 0xBF)}},
        {"overlong four-byte", "\xf0\x8f\xbf\xbf",
         {wchar_t(x + 0xF0), wchar_t(x + 0x8F), wchar_t(x + 0xBF), wchar_t(x + 0xBF)}},
        {"truncated two-byte", "ab\xc3", {L'a', L'b', wchar_t(x + 0xC3)}},
        {"truncated before ASCII", "\xe6\x96z", {wchar_t(x + 0xE6), wchar_t(x + 0x96), L'z'}},
        {"truncated before a whole one", "\xf0\x9f\xc3\xa9", {wchar_t(x + 0xF0), wchar_t(x + 0x9F), L'\u00e9'}},
        {"encoded escape", "\xed\xb2\x80", {wchar_t(x + 0xED), wchar_t(x + 0xB2), wchar_t(x + 0x80)}},
        {"encoded high surrogate", "\xed\xa0\x80", {wchar_t(x + 0xED), wchar_t(x + 0xA0), wchar_t(x + 0x80)}},
        {"past the last code point", "\xf4\x90\x80\x80",
         {wchar_t(x + 0xF4), wchar_t(x + 0x90), wchar_t(x + 0x80), wchar_t(x + 0x80)}},
        {"bytes FE and FF", "\xfe\xff", {wchar_t(x + 0xFE), wchar_t(x + 0xFF)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring wide;
        ASSERT_TRUE(FromUtf8Path(c.utf8, wide));
        EXPECT_EQ(c.wide, wide);
        std::string utf8;
        ASSERT_TRUE(ToUtf8Path(wide, utf8));
        EXPECT_EQ(c.utf8, utf8);
    }
    std::wstring wide;
    EXPECT_FALSE(FromUtf8Path(std::string("a\0b", 3), wide)) << "embedded zero";
}

} // namespace
