// Files the tool makes for its own use: an output under a partial name until it is complete,
// standard input spooled to disk. Each is removed when its owner goes, on success as on
// failure, unless it has been moved to its final name; an interrupt removes it too.
#ifndef KORRIN_TOOLS_SCRATCHFILE_H
#define KORRIN_TOOLS_SCRATCHFILE_H

#include <cstdio>
#include <string>

namespace Halvorn {
namespace Tool {

class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // NAME.korrin-partial-XXXXXX beside `target` (.korrin-partial-XXXXXX when that name is
    // too long), made empty, with `stream` open on it for writing. Throws a Failure about
    // writing `what` to `target`.
    static ScratchFile Beside(const std::string& target, const std::string& what, std::FILE*& stream);
    // A new empty file in the user's temporary directory, named by the library.
    static ScratchFile Temporary(const std::string& what);

    const std::string& Path() const { return path_; }
    // Gives the file up under the name `target`, replacing any file of that name. False
    // (errno set) when it cannot, and the file stays the object's.
    bool MoveTo(const std::string& target);
    void Remove();

private:
    explicit ScratchFile(std::string path);

    std::string path_;  // empty: none
};

} // namespace Tool
} // namespace Halvorn

#endif
