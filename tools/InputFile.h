// A file the library reads by name: the named file itself, standard input ("-") that is a
// file, or standard input or a named pipe spooled into a temporary file first, which goes
// when the object does.
#ifndef KORRIN_TOOLS_INPUTFILE_H
#define KORRIN_TOOLS_INPUTFILE_H

#include <string>

#include "ScratchFile.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

// Why the file at `path` cannot be read, as far as the tool can tell now: ": it does not
// exist", ": permission denied", or nothing when it can be opened.
std::string WhyUnreadable(const std::string& path);

class InputFile {
public:
    // A named file is only looked at, never opened: whether it can be read is for the
    // library to find out. `what` names the content in messages ("the new file").
    InputFile(const std::string& name, std::string what);

    const std::string& Path() const { return path_; }
    std::wstring WidePath() const;
    // "NAME", or "standard input".
    std::string Display() const;
    // Size and time as they were when the object was made; a missing file has size 0.
    const System::FileInfo& Info() const { return info_; }
    // WhyUnreadable for the file the library reads.
    std::string Reason() const { return WhyUnreadable(path_); }

private:
    std::string name_;
    std::string what_;
    bool standardInput_;
    ScratchFile spool_;
    std::string path_;
    System::FileInfo info_;
};

} // namespace Tool
} // namespace Halvorn

#endif
