// Conversion of wide paths to and from bytes at the POSIX boundary, against encodings written
// out by hand: UTF-8, the escapes of bytes that are not, and the wide values refused.
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/Utf8Path.h"

namespace {

using Halvorn::Platform::FromUtf8Path;
using Halvorn::Platform::ToUtf8Path;

// Each boundary of the one- to four-byte forms and the code points around the surrogates go
// both ways. Every byte that is not part of a well-formed sequence is kept as its own escape,
// so that every name can be opened and overlong or truncated forms never alias another name.
TEST(Utf8PathTest, EncodesAndDecodesEveryLengthAndEscapesBytesThatAreNotUtf8)
{
    const wchar_t x = 0xDC00; // plus the byte
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
        {"lone byte 80", {L'a', wchar_t(x + 0x80), L'z'}, "a\x80z"},
        {"leading continuation", {wchar_t(x + 0xBF)}, "\xbf"},
        {"overlong slash", {L'a', wchar_t(x + 0xC0), wchar_t(x + 0xAF)}, "a\xc0\xaf"},
        {"overlong zero", {wchar_t(x + 0xC0), wchar_t(x + 0x80)}, "\xc0\x80"},
        {"overlong three-byte", {wchar_t(x + 0xE0), wchar_t(x + 0x9F), wchar_t(x + 0xBF)}, "\xe0\x9f\xbf"},
        {"overlong four-byte",
         {wchar_t(x + 0xF0), wchar_t(x + 0x8F), wchar_t(x + 0xBF), wchar_t(x + 0xBF)},
         "\xf0\x8f\xbf\xbf"},
        {"truncated two-byte", {L'a', L'b', wchar_t(x + 0xC3)}, "ab\xc3"},
        {"truncated before ASCII", {wchar_t(x + 0xE6), wchar_t(x + 0x96), L'z'}, "\xe6\x96z"},
        {"truncated before a whole one",
         {wchar_t(x + 0xF0), wchar_t(x + 0x9F), L'\u00e9'},
         "\xf0\x9f\xc3\xa9"},
        {"encoded escape", {wchar_t(x + 0xED), wchar_t(x + 0xB2), wchar_t(x + 0x80)}, "\xed\xb2\x80"},
        {"encoded high surrogate", {wchar_t(x + 0xED), wchar_t(x + 0xA0), wchar_t(x + 0x80)}, "\xed\xa0\x80"},
        {"past the last code point",
         {wchar_t(x + 0xF4), wchar_t(x + 0x90), wchar_t(x + 0x80), wchar_t(x + 0x80)},
         "\xf4\x90\x80\x80"},
        {"bytes FE and FF", {wchar_t(x + 0xFE), wchar_t(x + 0xFF)}, "\xfe\xff"},
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
    std::wstring wide;
    EXPECT_FALSE(FromUtf8Path(std::string("a\0b", 3), wide)) << "embedded zero";
}

// A wide path that names no UTF-8 path, or that a zero would cut short, is refused.
TEST(Utf8PathTest, RefusesWideValuesThatAreNoCodePoints)
{
    const std::wstring cases[] = {
        {L'a', wchar_t(0xD800), L'b'},      // lone high surrogate
        {L'a', wchar_t(0xDFFF), L'b'},      // lone low surrogate
        {wchar_t(0xDC7F)},                  // just below the byte escapes
        {wchar_t(0xD83D), wchar_t(0xDE00)}, // a surrogate pair: two unpaired surrogates in UTF-32
        {L'a', wchar_t(0x110000)},          // past the last code point
        {wchar_t(0x7FFFFFFF)},              // far past it
        std::wstring(L"/tmp/a\0b", 8),      // an embedded zero
    };
    for (const std::wstring& wide : cases) {
        std::string utf8;
        EXPECT_FALSE(ToUtf8Path(wide, utf8)) << ::testing::PrintToString(wide);
    }
    std::string utf8 = "stale";
    EXPECT_FALSE(ToUtf8Path(static_cast<const wchar_t*>(nullptr), utf8));
    EXPECT_TRUE(utf8.empty());
}

} // namespace
