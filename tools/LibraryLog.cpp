#include "LibraryLog.h"

#include <string>
#include <vector>

#include <Vantrel/Vantrel.h>

#include "System.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

namespace {

struct Line {
    std::string logger;
    std::string text;
};

std::vector<Line>& Lines()
{
    static std::vector<Line> lines;
    return lines;
}

void Keep(void*, const wchar_t* logger, std::int32_t, const wchar_t* line)
{
    Lines().push_back({ToUtf8(logger), ToUtf8(line)});
}

} // namespace

void CollectLibraryLog()
{
    LoggerRegistry::setSink(&Keep, nullptr);
}

void ForgetLibraryLog()
{
    Lines().clear();
}

void PrintLibraryLog(std::FILE* stream)
{
    for (const Line& line : Lines())
        System::WriteText(stream, "  " + line.logger + ": " + line.text + "\n");
}

} // namespace Tool
} // namespace Halvorn
