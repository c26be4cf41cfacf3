// The commands, a file each (delta and whole share theirs). Each throws a Failure when it
// cannot finish.
#ifndef KORRIN_TOOLS_COMMANDS_H
#define KORRIN_TOOLS_COMMANDS_H

#include "Options.h"

namespace Halvorn {
namespace Tool {

void Sign(const Options& options);
void MakeDelta(const Options& options);
void MakeWholeDelta(const Options& options);
void Patch(const Options& options);
void ShowInfo(const Options& options);

} // namespace Tool
} // namespace Halvorn

#endif
