#include "InputFile.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <utility>

#include "Failures.h"
#include "Options.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

namespace {

// Copies `in` to the file at `path`; the errno of the first failure, or 0.
int Spool(std::FILE* in, const std::string& path, bool& readFailed)
{
    std::FILE* out = System::OpenFile(path, "wb");
    if (out == nullptr)
        return errno;
    constexpr std::size_t kChunk = 1 << 20;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
    std::size_t got;
    int error = 0;
    while (error == 0 && (got = std::fread(buffer.get(), 1, kChunk, in)) != 0)
        if (std::fwrite(buffer.get(), 1, got, out) != got)
            error = errno;
    if (error == 0 && std::ferror(in)) {
        error = errno;
        readFailed = true;
    }
    if (std::fclose(out) != 0 && error == 0)
        error = errno;
    return error;
}

} // namespace

std::string WhyUnreadable(const std::string& path)
{
    System::FileInfo now;
    if (!System::Examine(path, now))
        return ": " + SystemError(errno);
    if (!now.exists)
        return ": it does not exist";
    if (now.directory)
        return ": it is a directory";
    std::FILE* probe = System::OpenFile(path, "rb");
    if (probe == nullptr)
        return ": " + SystemError(errno);
    std::fclose(probe);
    return "";
}

InputFile::InputFile(const std::string& name, std::string what)
    : name_(name), what_(std::move(what)), standardInput_(IsStandardStream(name)), path_(name)
{
    System::FileInfo named;
    // Standard input that is a file is read as that file, by a name that opens it anew.
    if (standardInput_)
        path_ = System::StandardInputPath();
    const bool stream = (standardInput_ && path_.empty()) ||
                        (!standardInput_ && System::Examine(name_, named) && named.exists && !named.directory &&
                         !named.regular);
    if (stream) {
        // The library measures a file before it reads it, and reads by name: a pipe must be
        // on disk first.
        const std::string source = standardInput_ ? " from standard input" : " " + name_;
        std::FILE* in = standardInput_ ? stdin : System::OpenFile(name_, "rb");
        if (in == nullptr)
            throw Failure("cannot read " + what_ + source + ": " + SystemError(errno));
        spool_ = ScratchFile::Temporary(what_ + source);
        bool readFailed = false;
        const int error = Spool(in, spool_.Path(), readFailed);
        if (!standardInput_)
            std::fclose(in);
        if (error != 0)
            throw Failure("cannot " + std::string(readFailed ? "read " : "keep ") + what_ + source + ": " +
                          SystemError(error));
        path_ = spool_.Path();
    }
    if (!System::Examine(path_, info_))
        info_ = System::FileInfo();
}

std::wstring InputFile::WidePath() const
{
    // Operands were checked to be UTF-8, and temporary names come from the library.
    std::wstring wide;
    ToWide(path_, wide);
    return wide;
}

std::string InputFile::Display() const
{
    return standardInput_ ? "standard input" : name_;
}

} // namespace Tool
} // namespace Halvorn
