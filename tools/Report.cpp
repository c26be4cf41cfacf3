#include "Report.h"

#include <cstdio>

#include "Format.h"

namespace Halvorn {
namespace Tool {

void Note(const Options& options, const std::string& text)
{
    if (!options.quiet)
        std::fprintf(stderr, "korrin: %s\n", text.c_str());
}

void Summarise(const Options& options, const std::string& headline, std::uint64_t fileSize,
               std::uint64_t deltaSize, double seconds)
{
    Note(options, headline + ": " + FormatSize(fileSize) + " file, " + FormatSize(deltaSize) + " delta (" +
                      FormatShare(deltaSize, fileSize) + " of it), " + FormatDuration(seconds) + ", " +
                      FormatRate(fileSize, seconds));
}

} // namespace Tool
} // namespace Halvorn
