#include "Options.h"

#include "Failures.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

namespace {

constexpr std::uint64_t kLargestBlockSize = 2147483647;  // what the library accepts

struct CommandForm {
    Command command;
    const char* name;
    const char* operands;  // for messages
    std::size_t count;     // operands it takes
};

const CommandForm kForms[] = {
    {Command::Signature, "signature", "OLD SIG", 2},
    {Command::Delta, "delta", "SIG NEW DELTA", 3},
    {Command::Whole, "whole", "NEW DELTA", 2},
    {Command::Patch, "patch", "OLD DELTA NEW", 3},
    {Command::Info, "info", "FILE", 1},
};
const CommandForm kPatchInPlace = {Command::Patch, "patch", "--in-place FILE DELTA", 2};

const CommandForm* FormOf(Command command)
{
    for (const CommandForm& form : kForms)
        if (form.command == command)
            return &form;
    return nullptr;
}

std::uint32_t ParseBlockSize(const std::string& text, Options& options)
{
    if (text == "auto") {
        options.autoBlockSize = true;
        return options.blockSize;
    }
    std::uint64_t value = 0;
    bool digits = !text.empty();
    for (char c : text) {
        if (c < '0' || c > '9' || value > kLargestBlockSize) {
            digits = false;
            break;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (!digits || value == 0 || value > kLargestBlockSize)
        throw UsageError("bad block size '" + text + "': give a number of bytes from 1 to 2147483647, or auto",
                         "signature");
    options.autoBlockSize = false;
    return static_cast<std::uint32_t>(value);
}

// Operands the library reads by name cannot be a stream, and one stream feeds one operand.
void CheckStreams(const Options& options, const char* name)
{
    const std::vector<std::string>& operands = options.operands;
    auto stream = [&](std::size_t i) { return IsStandardStream(operands[i]); };
    switch (options.command) {
    case Command::Delta:
        if (stream(0) && stream(1))
            throw UsageError("SIG and NEW cannot both come from standard input", name);
        break;
    case Command::Patch:
        if (stream(0))
            throw UsageError(std::string(options.inPlace ? "FILE" : "OLD") +
                                 " must be a file: it is read and replaced by name",
                             name);
        break;
    default:
        break;
    }
}

} // namespace

const char* CommandName(Command command)
{
    const CommandForm* form = FormOf(command);
    return form == nullptr ? "" : form->name;
}

Options ParseArguments(int argc, const char* const* argv)
{
    Options options;
    bool blockSizeGiven = false;
    bool optionsEnded = false;
    std::string commandName;  // for the hint, once known

    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            if (options.command == Command::None) {
                for (const CommandForm& form : kForms)
                    if (argument == form.name)
                        options.command = form.command;
                if (options.command == Command::None)
                    throw UsageError("unknown command '" + argument + "'", "");
                commandName = argument;
                continue;
            }
            std::wstring wide;
            if (!ToWide(argument, wide))
                throw UsageError("the name '" + argument + "' is not UTF-8, and the library takes names in Unicode",
                                 commandName);
            options.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }

        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        auto flag = [&](bool& value) {
            if (hasValue)
                throw UsageError("option " + name + " takes no value", commandName);
            value = true;
        };
        if (name == "--help" || name == "-h") {
            flag(options.help);
        } else if (name == "--version") {
            flag(options.version);
        } else if (name == "--quiet") {
            flag(options.quiet);
        } else if (name == "--verbose") {
            flag(options.verbose);
        } else if (name == "--in-place") {
            flag(options.inPlace);
        } else if (name == "--lock") {
            flag(options.lock);
        } else if (name == "--block-size") {
            std::string value;
            if (hasValue) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                throw UsageError("option --block-size needs a value", commandName);
            }
            options.blockSize = ParseBlockSize(value, options);
            blockSizeGiven = true;
        } else {
            throw UsageError("unknown option '" + argument + "'", commandName);
        }
    }

    if (options.version || options.help)
        return options;
    if (options.command == Command::None)
        throw UsageError("no command given", "");

    const char* name = CommandName(options.command);
    if (blockSizeGiven && options.command != Command::Signature)
        throw UsageError(std::string(name) + " takes no --block-size: the signature sets the block size", name);
    if ((options.inPlace || options.lock) && options.command != Command::Patch)
        throw UsageError(std::string(name) + " takes no " + (options.inPlace ? "--in-place" : "--lock"), name);
    if (options.lock && !options.inPlace)
        throw UsageError("--lock goes with --in-place", name);

    const CommandForm& form = options.inPlace ? kPatchInPlace : *FormOf(options.command);
    if (options.operands.size() < form.count)
        throw UsageError(std::string("missing operands: korrin ") + form.name + " " + form.operands, name);
    if (options.operands.size() > form.count)
        throw UsageError("extra operand '" + options.operands[form.count] + "': korrin " + form.name + " " +
                             form.operands,
                         name);
    CheckStreams(options, name);
    return options;
}

} // namespace Tool
} // namespace Halvorn
