// The two ways a command ends early. A usage error (exit status 2) is the command line's
// fault: nothing was done. A failure (exit status 1) happened while working; its message
// is one sentence naming what could not be done and with which file.
#ifndef KORRIN_TOOLS_FAILURES_H
#define KORRIN_TOOLS_FAILURES_H

#include <stdexcept>
#include <string>

namespace Halvorn {
namespace Tool {

class UsageError : public std::runtime_error {
public:
    // `command` names the command whose help the hint points to; empty for the general help.
    UsageError(const std::string& message, const std::string& command)
        : std::runtime_error(message), command_(command)
    {
    }
    const std::string& Command() const { return command_; }

private:
    std::string command_;
};

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The system's words for an errno value, to follow a colon.
std::string SystemError(int error);

} // namespace Tool
} // namespace Halvorn

#endif
