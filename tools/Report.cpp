#include "Report.h"

#include <cstdio>

#include "Format.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

void Note(const Options& options, const std::string& text)
{
    if (!options.quiet)
        System::WriteText(stderr, "korrin: " + text + "\n");
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
