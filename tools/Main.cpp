// korrin: the library's signatures, deltas and rebuilding from the command line.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "Commands.h"
#include "Failures.h"
#include "Help.h"
#include "LibraryLog.h"
#include "Options.h"
#include "System.h"

using namespace Halvorn::Tool;

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const UsageError& error)
{
    const std::string help = error.Command().empty() ? "korrin --help" : "korrin " + error.Command() + " --help";
    System::WriteText(stderr, "korrin: " + std::string(error.what()) + " (see " + help + ")\n");
    return kUsage;
}

int Failed(const char* sentence)
{
    System::WriteText(stderr, "korrin: " + std::string(sentence) + "\n");
    PrintLibraryLog(stderr);
    return kFailed;
}

// Help and the versions are output like any other: text that cannot be written all the way
// (a full disk, a closed pipe) is a failure.
int Written(std::FILE* stream)
{
    if (std::fflush(stream) == 0 && !std::ferror(stream))
        return kDone;
    return Failed("cannot write to the standard output");
}

void Run(const Options& options)
{
    switch (options.command) {
    case Command::Signature:
        Sign(options);
        break;
    case Command::Delta:
        MakeDelta(options);
        break;
    case Command::Whole:
        MakeWholeDelta(options);
        break;
    case Command::Patch:
        Patch(options);
        break;
    case Command::Info:
        ShowInfo(options);
        break;
    case Command::None:
        break;
    }
}

} // namespace

int main(int argc, char** argv)
{
    System::Initialise();
    CollectLibraryLog();

    const std::vector<std::string> arguments = System::Arguments(argc, argv);
    std::vector<const char*> words;
    for (const std::string& argument : arguments)
        words.push_back(argument.c_str());

    Options options;
    try {
        options = ParseArguments(static_cast<int>(words.size()), words.data());
    } catch (const UsageError& error) {
        return Usage(error);
    }
    if (options.version || options.help)
        System::TextOutput();
    if (options.version) {
        PrintVersion(stdout);
        return Written(stdout);
    }
    if (options.help) {
        PrintHelp(options.command, stdout);
        return Written(stdout);
    }

    try {
        Run(options);
    } catch (const UsageError& error) {
        return Usage(error);
    } catch (const Failure& failure) {
        return Failed(failure.what());
    } catch (const std::bad_alloc&) {
        return Failed("out of memory");
    } catch (const std::exception& error) {
        return Failed(error.what());
    }
    if (options.verbose)
        PrintLibraryLog(stderr);
    return kDone;
}
