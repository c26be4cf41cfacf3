// What --help and --version print.
#ifndef KORRIN_TOOLS_HELP_H
#define KORRIN_TOOLS_HELP_H

#include <cstdio>

#include "Options.h"

namespace Halvorn {
namespace Tool {

// The general help for Command::None, else the command's own.
void PrintHelp(Command command, std::FILE* stream);
void PrintVersion(std::FILE* stream);

} // namespace Tool
} // namespace Halvorn

#endif
