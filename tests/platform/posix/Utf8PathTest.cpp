// Conversion of wide paths to and from UTF-8 at the POSIX boundary, against encodings written
// out by hand, and the sequences that must be refused.
#include <string>

#include <gtest/gtest.h>

#include "platform/posix/Utf8Path.h"

namespace {

using Halvorn::Platform::FromUtf8Path;
using Halvorn::Platform::ToUtf8Path;

struct Encoding {
    const char* what;
    std::wstring wide;
    std::string utf8;
};

// Keeps the raw bytes out of the test names that gtest prints.
void PrintTo(const Encoding& value, std::ostream* out)
{
    *out << value.what;
}

class Utf8PathRoundTrip : public ::testing::TestWithParam<Encoding> {};

TEST_P(Utf8PathRoundTrip, EncodesAndDecodes)
{
    const Encoding& encoding = GetParam();
    std::string utf8;
    ASSERT_TRUE(ToUtf8Path(encoding.wide, utf8));
    EXPECT_EQ(encoding.utf8, utf8);
    ASSERT_TRUE(ToUtf8Path(encoding.wide.c_str(), utf8));
    EXPECT_EQ(encoding.utf8, utf8);
    std::wstring wide;
    ASSERT_TRUE(FromUtf8Path(encoding.utf8, wide));
    EXPECT_EQ(encoding.wide, wide);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Utf8PathRoundTrip,
    ::testing::Values(Encoding{"Empty", L"", ""}, Encoding{"Ascii", L"/tmp/a b~.txt", "/tmp/a b~.txt"},
                      Encoding{"LastOneByte", L"\u007f", "\x7f"},
                      Encoding{"FirstTwoByte", L"\u0080", "\xc2\x80"},
                      Encoding{"TwoByte", L"caf\u00e9", "caf\xc3\xa9"},
                      Encoding{"LastTwoByte", L"\u07ff", "\xdf\xbf"},
                      Encoding{"FirstThreeByte", L"\u0800", "\xe0\xa0\x80"},
                      Encoding{"ThreeByte", L"\u6587\u4ef6", "\xe6\x96\x87\xe4\xbb\xb6"},
                      Encoding{"BeforeSurrogates", L"\ud7ff", "\xed\x9f\xbf"},
                      Encoding{"AfterSurrogates", L"\ue000", "\xee\x80\x80"},
                      Encoding{"LastThreeByte", L"\uffff", "\xef\xbf\xbf"},
                      Encoding{"FirstFourByte", L"\U00010000", "\xf0\x90\x80\x80"},
                      Encoding{"FourByte", L"\U0001F600", "\xf0\x9f\x98\x80"},
                      Encoding{"LastCodePoint", L"\U0010FFFF", "\xf4\x8f\xbf\xbf"},
                      Encoding{"Mixed", L"/d/\u00e9t\u00e9-\u6587\u4ef6-\U0001F600.bin",
                               "/d/\xc3\xa9t\xc3\xa9-\xe6\x96\x87\xe4\xbb\xb6-\xf0\x9f\x98\x80.bin"}),
    [](const ::testing::TestParamInfo<Encoding>& info) { return std::string(info.param.what); });

struct BadWide {
    const char* what;
    std::wstring wide;
};

void PrintTo(const BadWide& value, std::ostream* out)
{
    *out << value.what;
}

class Utf8PathRefusesWide : public ::testing::TestWithParam<BadWide> {};

TEST_P(Utf8PathRefusesWide, ToUtf8PathFails)
{
    std::string utf8;
    EXPECT_FALSE(ToUtf8Path(GetParam().wide, utf8));
}

std::wstring With(std::wstring before, wchar_t bad, const std::wstring& after)
{
    before += bad;
    return before + after;
}

INSTANTIATE_TEST_SUITE_P(
    Values, Utf8PathRefusesWide,
    ::testing::Values(BadWide{"LoneHighSurrogate", With(L"a", static_cast<wchar_t>(0xD800), L"b")},
                      BadWide{"LoneLowSurrogate", With(L"a", static_cast<wchar_t>(0xDFFF), L"b")},
                      // wchar_t is UTF-32 here: a surrogate pair is two unpaired surrogates.
                      BadWide{"SurrogatePairInUtf32", With(With(L"", static_cast<wchar_t>(0xD83D), L""),
                                                           static_cast<wchar_t>(0xDE00), L"")},
                      BadWide{"PastLastCodePoint", With(L"a", static_cast<wchar_t>(0x110000), L"")},
                      BadWide{"FarPastLastCodePoint", With(L"", static_cast<wchar_t>(0x7FFFFFFF), L"")},
                      BadWide{"EmbeddedZero", std::wstring(L"/tmp/a\0b", 8)}),
    [](const ::testing::TestParamInfo<BadWide>& info) { return std::string(info.param.what); });

TEST(Utf8PathTest, NullPointerFails)
{
    std::string utf8 = "stale";
    const wchar_t* none = nullptr;
    EXPECT_FALSE(ToUtf8Path(none, utf8));
    EXPECT_TRUE(utf8.empty());
}

struct BadUtf8 {
    const char* what;
    std::string utf8;
};

void PrintTo(const BadUtf8& value, std::ostream* out)
{
    *out << value.what;
}

class Utf8PathRefusesUtf8 : public ::testing::TestWithParam<BadUtf8> {};

TEST_P(Utf8PathRefusesUtf8, FromUtf8PathFails)
{
    std::wstring wide;
    EXPECT_FALSE(FromUtf8Path(GetParam().utf8, wide));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8PathRefusesUtf8,
    ::testing::Values(BadUtf8{"OverlongSlash", "a\xc0\xaf"}, BadUtf8{"OverlongTwoByte", "\xc1\xbf"},
                      BadUtf8{"OverlongThreeByte", "\xe0\x80\x80"},
                      BadUtf8{"OverlongThreeByteHigh", "\xe0\x9f\xbf"},
                      BadUtf8{"OverlongFourByte", "\xf0\x8f\xbf\xbf"}, BadUtf8{"OverlongZero", "\xc0\x80"},
                      BadUtf8{"TruncatedTwoByte", "ab\xc3"}, BadUtf8{"TruncatedThreeByte", "\xe6\x96"},
                      BadUtf8{"TruncatedFourByte", "\xf0\x9f\x98"},
                      BadUtf8{"TruncatedBeforeAscii", "\xe6\x96z"}, BadUtf8{"StrayContinuation", "a\x80z"},
                      BadUtf8{"LeadingContinuation", "\xbf"}, BadUtf8{"EncodedSurrogate", "\xed\xa0\x80"},
                      BadUtf8{"PastLastCodePoint", "\xf4\x90\x80\x80"},
                      BadUtf8{"FiveByteLead", "\xf8\x88\x80\x80\x80"}, BadUtf8{"InvalidByteFE", "\xfe"},
                      BadUtf8{"InvalidByteFF", "\xff"}, BadUtf8{"EmbeddedZero", std::string("a\0b", 3)}),
    [](const ::testing::TestParamInfo<BadUtf8>& info) { return std::string(info.param.what); });

} // namespace
