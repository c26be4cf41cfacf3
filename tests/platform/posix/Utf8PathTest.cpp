// Conversion of wide paths to and from UTF-8 at the POSIX boundary, against encodings written
// out by hand, and the sequences that must be refused.
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

// Overlong, truncated and stray sequences would let two spellings name one file.
TEST(Utf8PathTest, RefusesSequencesThatAreNotUtf8)
{
    const struct {
        const char* what;
        std::string utf8;
    } cases[] = {
        {"overlong slash", "a\xc0\xaf"},
        {"overlong two-byte", "\xc1\xbf"},
        {"overlong three-byte", "\xe0\x80\x80"},
        {"overlong three-byte, high", "\xe0\x9f\xbf"},
        {"overlong four-byte", "\xf0\x8f\xbf\xbf"},
        {"overlong zero", "\xc0\x80"},
        {"truncated two-byte", "ab\xc3"},
        {"truncated three-byte", "\xe6\x96"},
        {"truncated four-byte", "\xf0\x9f\x98"},
        {"truncated before ASCII", "\xe6\x96z"},
        {"stray continuation", "a\x80z"},
        {"leading continuation", "\xbf"},
        {"encoded surrogate", "\xed\xa0\x80"},
        {"past the last code point", "\xf4\x90\x80\x80"},
        {"five-byte lead", "\xf8\x88\x80\x80\x80"},
        {"byte FE", "\xfe"},
        {"byte FF", "\xff"},
        {"embedded zero", std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        std::wstring wide;
        EXPECT_FALSE(FromUtf8Path(c.utf8, wide)) << c.what;
    }
}

} // namespace
