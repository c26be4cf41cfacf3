// How the tool writes numbers for people: sizes, rates, durations, dates and hash values.
#ifndef KORRIN_TOOLS_FORMAT_H
#define KORRIN_TOOLS_FORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace Halvorn {
namespace Tool {

// "812 bytes", "4.0 KiB", "256.0 MiB".
std::string FormatSize(std::uint64_t bytes);
// "85.3 MiB/s"; "-" when no time has passed.
std::string FormatRate(std::uint64_t bytes, double seconds);
// "0.84 s" under a minute, "1:02" or "1:02:03" beyond.
std::string FormatDuration(double seconds);
// "12.34%" of a part in a whole; "-" for an empty whole.
std::string FormatShare(std::uint64_t part, std::uint64_t whole);
// "2021-03-04 05:06:07 UTC" for seconds since 1970-01-01 UTC, before that date too.
std::string FormatUtc(std::int64_t seconds);
std::string FormatHex(const unsigned char* bytes, std::size_t count);

} // namespace Tool
} // namespace Halvorn

#endif
