// Hash values as lowercase hex, so that failures print the value that was produced.
#ifndef KORRIN_TESTS_SUPPORT_HEXVALUE_H
#define KORRIN_TESTS_SUPPORT_HEXVALUE_H

#include <string>

namespace KorrinTest {

template <typename Value>
std::string ToHex(const Value& value)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : value.bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0f];
    }
    return text;
}

} // namespace KorrinTest

#endif
