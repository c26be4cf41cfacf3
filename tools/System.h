// The tool's one seam to the operating system: the terminal, the standard streams, and the
// few file operations that standard C++ cannot do portably (exclusive creation, replacing
// a file by renaming, a file's modification time, names in UTF-8). One implementation per
// system sits in a subfolder; the build picks it. Failures leave errno set.
#ifndef KORRIN_TOOLS_SYSTEM_H
#define KORRIN_TOOLS_SYSTEM_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Halvorn {
namespace Tool {
namespace System {

// Once, first thing: standard input and output in binary mode, a closed pipe reported as
// a write error instead of ending the process, and interrupts handled as below.
void Initialise();

// From here on standard output carries text, not blobs or files: its lines end as the
// system's own programs end them ("\r\n" on Windows). Standard error always does.
void TextOutput();

// The command line, the program's name first, in UTF-8 whatever encoding main() was given.
std::vector<std::string> Arguments(int argc, char** argv);

// Writes text for people, UTF-8 like every string of the tool; false (errno set) when it
// could not. A console shows it as written whatever its code page; elsewhere the bytes go as
// they are, with the line ends described above.
bool WriteText(std::FILE* stream, const std::string& text);

bool IsTerminal(std::FILE* stream);
// The width of the terminal behind `stream`, or 0 when it is not known.
int TerminalColumns(std::FILE* stream);

// Paths are UTF-8 throughout the tool.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Creates `path` for writing in binary mode only when no file has that name; `existed`
// tells that case from other failures.
std::FILE* CreateNewFile(const std::string& path, bool& existed);
// Puts `from` in the place of `to`, replacing what was there in one step; the new file
// takes over the replaced file's permission bits.
bool ReplaceFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// An existing file that is not replaced but written into, such as a device or a pipe, opened
// for writing as it is: neither created nor truncated.
std::FILE* OpenForWriting(const std::string& path);
// The descriptor under `stream`, for the library's writers.
int DescriptorOf(std::FILE* stream);

// The characters that end a directory's part of a path.
extern const char kSeparators[];
// Where the symbolic link `path` leads in the end, spelled without links; empty (errno set)
// when it leads to no file.
std::string FinalPath(const std::string& path);
// True when the last part of `path` is longer than its directory allows.
bool NameTooLong(const std::string& path);

// Which file a name or a stream leads to, through links and other spellings: the same
// device and index are the same file. `character` marks devices such as the null device,
// which hold no content to lose.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    bool character = false;
};
// False (errno set) when there is no such file.
bool IdentityOf(const std::string& path, FileIdentity& identity);
bool IdentityOf(std::FILE* stream, FileIdentity& identity);

struct FileInfo {
    bool exists = false;
    bool directory = false;
    bool regular = false;  // not a directory, pipe or device
    bool link = false;     // the name is a symbolic link; the rest describes where it leads
    std::uint64_t size = 0;
    std::int64_t modifiedTime = 0;  // seconds since 1970-01-01 UTC
};
// False (errno set) only when the name cannot be looked at; a missing file is not a failure.
bool Examine(const std::string& path, FileInfo& info);

// A name under which the library can open the regular file that standard input is, at the
// file's start; empty when standard input is a pipe, a terminal or a device, or has been
// read from, and must then be read as a stream.
std::string StandardInputPath();

// Files that must not outlive an interrupted run (partial outputs, spooled input): an
// interrupt or termination signal removes them before the process ends. A few at a time.
void RemoveOnInterrupt(const std::string& path);
void KeepOnInterrupt(const std::string& path);

} // namespace System
} // namespace Tool
} // namespace Halvorn

#endif
