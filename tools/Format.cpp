#include "Format.h"

#include <cstdio>

namespace Halvorn {
namespace Tool {

std::string FormatSize(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string FormatRate(std::uint64_t bytes, double seconds)
{
    if (seconds <= 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB/s", static_cast<double>(bytes) / seconds / (1024 * 1024));
    return text;
}

std::string FormatDuration(double seconds)
{
    char text[32];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.2f s", seconds < 0 ? 0.0 : seconds);
        return text;
    }
    const auto whole = static_cast<unsigned long long>(seconds + 0.5);
    if (whole < 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
    return text;
}

std::string FormatShare(std::uint64_t part, std::uint64_t whole)
{
    if (whole == 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

std::string FormatUtc(std::int64_t seconds)
{
    // Whole days and the second of the day, rounding towards the past for times before 1970.
    std::int64_t days = seconds / 86400;
    std::int64_t second = seconds % 86400;
    if (second < 0) {
        second += 86400;
        --days;
    }
    // The civil date of a day count, by eras of 400 years (146097 days) that start on
    // 1 March, so that the leap day ends a year.
    const std::int64_t shifted = days + 719468;  // days from 0000-03-01 to 1970-01-01
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(second / 3600), static_cast<long long>(second / 60 % 60),
                  static_cast<long long>(second % 60));
    return text;
}

std::string FormatHex(const unsigned char* bytes, std::size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace Tool
} // namespace Halvorn
