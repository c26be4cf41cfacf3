// The library's log lines, kept from the start of the run. A failure prints them after its
// sentence, innermost first, as the chain of what went wrong; a successful run keeps them to
// itself unless asked, since a successful rebuild logs the end of the instruction list.
#ifndef KORRIN_TOOLS_LIBRARYLOG_H
#define KORRIN_TOOLS_LIBRARYLOG_H

#include <cstdio>

namespace Halvorn {
namespace Tool {

void CollectLibraryLog();
// Lines of attempts whose failure was an answer, not a fault.
void ForgetLibraryLog();
void PrintLibraryLog(std::FILE* stream);

} // namespace Tool
} // namespace Halvorn

#endif
