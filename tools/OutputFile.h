// Where a command puts its result: a file by name, standard output ("-"), or a file that is
// written into rather than replaced (a device, a pipe). A named output that is a file, or
// none yet, is written under a partial name beside its own and takes its name only once
// complete, so the name never shows a half-written file; a failure removes the partial file.
// A symbolic link is followed, and the file it leads to is the output. Standard output and
// the outputs written into receive the result only once it is complete, but for deltas,
// which go out as they are made.
#ifndef KORRIN_TOOLS_OUTPUTFILE_H
#define KORRIN_TOOLS_OUTPUTFILE_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>

#include "ScratchFile.h"

namespace Halvorn {
namespace Tool {

// A blob on a terminal is of no use to anyone and upsets it: a UsageError when `name` is
// standard output and that is a terminal.
void RefuseBlobOnTerminal(const std::string& name, const std::string& what, const char* command);

// Whether the input `input` ("-": standard input) is the very file that the output `output`
// ("-": standard output) names, through links and other spellings alike. A character device
// such as the null device is never taken for one: it holds nothing that could be lost.
bool SameFile(const std::string& input, const std::string& output);
// A Failure about writing `what` to `output` when it is one of `inputs` (name, what), before
// anything is written: replacing an input while it is read would lose it.
void RefuseInputAsOutput(const std::string& output, const std::string& what,
                         std::initializer_list<std::pair<std::string, std::string>> inputs);

class OutputFile {
public:
    // Makes the partial file or opens the file written into at once, so that an unwritable
    // place fails before the work. `what` names the content in messages ("the delta").
    OutputFile(const std::string& name, std::string what);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes the whole result, which the tool holds in memory.
    void Write(const unsigned char* bytes, std::size_t count);
    // Where the library writes a result by name: the partial file, or for an output written
    // into a temporary file that Commit copies out.
    const std::string& PathForLibrary();
    // Gives the result its name, or finishes the output written into.
    void Commit();

    // "NAME", or "standard output".
    std::string Display() const;
    // The descriptor of standard output or of a file written into, for writers that write as
    // they go; -1 for a file that the result replaces.
    int Descriptor() const;

private:
    [[noreturn]] void Fail(int error) const;
    void CloseStream();

    std::string name_;
    std::string what_;
    bool standardOutput_;
    std::string path_;              // the file replaced: name_, or where the link name_ leads
    std::FILE* direct_ = nullptr;   // standard output or the file written into
    ScratchFile scratch_;
    std::FILE* stream_ = nullptr;  // open on the partial file until the library or Commit needs it closed
};

} // namespace Tool
} // namespace Halvorn

#endif
