// The command line, read and checked: which command, its operands and its options. Every
// mistake is a UsageError, found before anything is done.
#ifndef KORRIN_TOOLS_OPTIONS_H
#define KORRIN_TOOLS_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace Halvorn {
namespace Tool {

enum class Command { None, Signature, Delta, Whole, Patch, Info };

struct Options {
    Command command = Command::None;
    std::vector<std::string> operands;  // UTF-8; "-" stands for a standard stream
    bool help = false;
    bool version = false;
    bool quiet = false;
    bool verbose = false;
    bool inPlace = false;
    bool lock = false;
    bool autoBlockSize = false;
    std::uint32_t blockSize = 2048;
};

// The operand that means standard input or output.
inline bool IsStandardStream(const std::string& operand)
{
    return operand == "-";
}

const char* CommandName(Command command);
Options ParseArguments(int argc, const char* const* argv);

} // namespace Tool
} // namespace Halvorn

#endif
