// What a command says on stderr besides failures: notes and the summary line, both of
// which --quiet silences.
#ifndef KORRIN_TOOLS_REPORT_H
#define KORRIN_TOOLS_REPORT_H

#include <chrono>
#include <cstdint>
#include <string>

#include "Options.h"

namespace Halvorn {
namespace Tool {

class Stopwatch {
public:
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "korrin: TEXT" on stderr, unless quiet.
void Note(const Options& options, const std::string& text);
// "korrin: HEADLINE: 256.0 MiB file, 1.3 MiB delta (0.51% of it), 2.41 s, 106.2 MiB/s"
void Summarise(const Options& options, const std::string& headline, std::uint64_t fileSize,
               std::uint64_t deltaSize, double seconds);

} // namespace Tool
} // namespace Halvorn

#endif
