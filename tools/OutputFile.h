// Where a command puts its result: a file by name or standard output ("-"). A named output
// is written under a partial name beside its own and takes its name only once complete, so
// the name never shows a half-written file; a failure removes the partial file. Standard
// output receives the result only once it is complete.
#ifndef KORRIN_TOOLS_OUTPUTFILE_H
#define KORRIN_TOOLS_OUTPUTFILE_H

#include <cstddef>
#include <cstdio>
#include <string>

#include "ScratchFile.h"

namespace Halvorn {
namespace Tool {

// A blob on a terminal is of no use to anyone and upsets it: a UsageError when `name` is
// standard output and that is a terminal.
void RefuseBlobOnTerminal(const std::string& name, const std::string& what, const char* command);

class OutputFile {
public:
    // Makes the partial file at once, so that an unwritable place fails before the work.
    // `what` names the content in messages ("the delta").
    OutputFile(const std::string& name, std::string what);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes the whole result, which the tool holds in memory.
    void Write(const unsigned char* bytes, std::size_t count);
    // Where the library writes a result by name: the partial file, or for standard output a
    // temporary file that Commit copies out.
    const std::string& PathForLibrary();
    // Gives the result its name, or finishes standard output.
    void Commit();

    // "NAME", or "standard output".
    std::string Display() const;
    bool IsStandardOutput() const { return standardOutput_; }

private:
    [[noreturn]] void Fail(int error) const;
    void CloseStream();

    std::string name_;
    std::string what_;
    bool standardOutput_;
    ScratchFile scratch_;
    std::FILE* stream_ = nullptr;  // open on the partial file until the library or Commit needs it closed
};

} // namespace Tool
} // namespace Halvorn

#endif
