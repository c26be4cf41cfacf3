// Runs the installed korrin as a user would, through the shell, with its files in a fresh
// directory. The tool's path comes from the environment variable KORRIN_TOOL, which the
// test that installs it sets. KORRIN_TOOL_SYSTEM=windows says the tool is the Windows build
// (run through an emulator by that path): text then has Windows line ends, and the tests of
// what only POSIX systems have skip.
#ifndef KORRIN_TESTS_TOOL_TOOLRUN_H
#define KORRIN_TESTS_TOOL_TOOLRUN_H

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace KorrinToolTest {

struct Outcome {
    int status = -1; // the exit status; -1 when the process did not exit normally
    std::string out; // as written: blobs and rebuilt files come this way
    std::string err; // text, with "\n" line ends whatever the system (see NativeText)
};

inline bool WindowsTool()
{
    const char* system = std::getenv("KORRIN_TOOL_SYSTEM");
    return system != nullptr && std::string(system) == "windows";
}

// Text the tool wrote, with "\n" line ends. On Windows every line must end in "\r\n", as the
// system's own programs end them; elsewhere text is left as it is.
inline std::string NativeText(const std::string& text)
{
    if (!WindowsTool())
        return text;
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        EXPECT_FALSE(text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) << "a bare \\n on Windows: " << text;
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            plain += text[i];
    }
    return plain;
}

inline std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
inline bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}
inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Waits up to five seconds for `done` to hold.
template <typename Condition>
bool Eventually(Condition done)
{
    for (int i = 0; i < 500; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tool = std::getenv("KORRIN_TOOL");
        ASSERT_NE(tool, nullptr) << "KORRIN_TOOL must name the installed korrin";
        tool_ = tool;
        std::filesystem::create_directory(dir.Root() / "tmp");
    }

    // The path of `name` in the test's directory.
    std::string At(const std::string& name) const { return (dir.Root() / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const { KorrinTest::TempDir::Write(At(name), bytes); }
    std::string Read(const std::string& name) const { return KorrinTest::TempDir::Read(At(name)); }
    // The names in the test's directory, but for tmp/, the tool's temporary directory.
    std::set<std::string> Names() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Root()))
            names.insert(entry.path().filename().string());
        names.erase("tmp");
        return names;
    }
    // What the tool left in its temporary directory.
    std::size_t TemporaryFiles() const { return KorrinTest::TempDir::Entries(dir.Root() / "tmp"); }

    // A shell script run in the test's directory; $K is the tool. Standard output and error are
    // collected; the status is the script's.
    Outcome Shell(const std::string& script) const
    {
        const std::string command = "cd " + Quote(dir.Root().string()) + " && K=" + Quote(tool_) +
                                    " TMPDIR=" + Quote(At("tmp")) + " && export K TMPDIR && { " + script +
                                    "\n} >" + Quote(At(".out")) + " 2>" + Quote(At(".err"));
        const int raw = std::system(command.c_str());
        Outcome outcome;
        outcome.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        outcome.out = Read(".out");
        outcome.err = NativeText(Read(".err"));
        std::filesystem::remove(At(".out"));
        std::filesystem::remove(At(".err"));
        return outcome;
    }
    // The tool with these arguments; standard input from `input` (a name in the directory) or
    // empty. With `text`, standard output is text (help, version, info).
    Outcome Run(const std::vector<std::string>& arguments, const std::string& input = "", bool text = false) const
    {
        std::string script = "\"$K\"";
        for (const std::string& argument : arguments)
            script += " " + Quote(argument);
        Outcome outcome = Shell(script + " <" + (input.empty() ? std::string("/dev/null") : Quote(input)));
        if (text)
            outcome.out = NativeText(outcome.out);
        return outcome;
    }
    Outcome RunText(const std::vector<std::string>& arguments, const std::string& input = "") const
    {
        return Run(arguments, input, true);
    }

    KorrinTest::TempDir dir;
    std::string tool_;
};

} // namespace KorrinToolTest

#endif
