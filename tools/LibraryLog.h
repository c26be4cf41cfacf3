// The library's log lines, kept from the start of the run. A failure prints them after its
// sentence, innermost first, as the chain of what went wrong; a successful run keeps them to
// itself unless asked: an operation that got past a failure logs it too (an in-place
// replacement whose move fell back to a copy), and a rebuild from an in-memory delta logs
// the end of its instructions.
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
