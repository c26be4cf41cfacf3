#include "OutputFile.h"

#include <cerrno>
#include <memory>
#include <utility>

#include "Failures.h"
#include "Options.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

void RefuseBlobOnTerminal(const std::string& name, const std::string& what, const char* command)
{
    if (IsStandardStream(name) && System::IsTerminal(stdout))
        throw UsageError("will not write " + what + " to a terminal: redirect standard output or name a file",
                         command);
}

bool SameFile(const std::string& input, const std::string& output)
{
    System::FileIdentity written;
    System::FileIdentity read;
    const bool known = IsStandardStream(output) ? System::IdentityOf(stdout, written)
                                                : System::IdentityOf(output, written);
    if (!known || written.character)
        return false;
    if (!(IsStandardStream(input) ? System::IdentityOf(stdin, read) : System::IdentityOf(input, read)))
        return false;
    return read.device == written.device && read.index == written.index;
}

void RefuseInputAsOutput(const std::string& output, const std::string& what,
                         std::initializer_list<std::pair<std::string, std::string>> inputs)
{
    for (const auto& [input, role] : inputs) {
        if (!SameFile(input, output))
            continue;
        const std::string target = IsStandardStream(output) ? " to standard output" : " " + output;
        const std::string source = IsStandardStream(input) ? " from standard input" : " " + input;
        throw Failure("cannot write " + what + target + ": it is also " + role + source);
    }
}

OutputFile::OutputFile(const std::string& name, std::string what)
    : name_(name), what_(std::move(what)), standardOutput_(IsStandardStream(name)), path_(name)
{
    if (standardOutput_) {
        direct_ = stdout;
        return;
    }
    System::FileInfo info;
    System::Examine(name_, info);
    // Replacing a link would cut it; the file it leads to is replaced instead.
    if (info.link) {
        if (!info.exists)
            throw Failure("cannot write " + what_ + " " + name_ + ": it is a symbolic link that leads to no file");
        path_ = System::FinalPath(name_);
        if (path_.empty())
            Fail(errno);
    }
    if (info.directory)
        throw Failure("cannot write " + what_ + " " + name_ + ": it is a directory");
    // A device or a pipe is written into: a file put in its place would do the reader no good.
    if (info.exists && !info.regular) {
        direct_ = System::OpenForWriting(path_);
        if (direct_ == nullptr)
            Fail(errno);
        return;
    }
    scratch_ = ScratchFile::Beside(path_, what_, stream_);
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
    if (direct_ != nullptr && direct_ != stdout)
        std::fclose(direct_);
}

int OutputFile::Descriptor() const
{
    return direct_ != nullptr ? System::DescriptorOf(direct_) : -1;
}

std::string OutputFile::Display() const
{
    return standardOutput_ ? "standard output" : name_;
}

void OutputFile::Fail(int error) const
{
    if (standardOutput_)
        throw Failure("cannot write " + what_ + " to standard output: " + SystemError(error));
    throw Failure("cannot write " + what_ + " " + name_ + ": " + SystemError(error));
}

void OutputFile::CloseStream()
{
    if (stream_ == nullptr)
        return;
    std::FILE* stream = stream_;
    stream_ = nullptr;
    if (std::fclose(stream) != 0)
        Fail(errno);
}

void OutputFile::Write(const unsigned char* bytes, std::size_t count)
{
    std::FILE* stream = direct_ != nullptr ? direct_ : stream_;
    if (count != 0 && std::fwrite(bytes, 1, count, stream) != count)
        Fail(errno);
}

const std::string& OutputFile::PathForLibrary()
{
    if (direct_ != nullptr) {
        if (scratch_.Path().empty())
            scratch_ = ScratchFile::Temporary(what_);
    } else {
        CloseStream();
    }
    return scratch_.Path();
}

void OutputFile::Commit()
{
    if (direct_ == nullptr) {
        CloseStream();
        if (!scratch_.MoveTo(path_))
            Fail(errno);
        return;
    }
    if (!scratch_.Path().empty()) {
        // The library wrote the result to a temporary file: it goes out as it is.
        std::FILE* input = System::OpenFile(scratch_.Path(), "rb");
        if (input == nullptr)
            Fail(errno);
        constexpr std::size_t kChunk = 1 << 20;
        std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
        std::size_t got;
        while ((got = std::fread(buffer.get(), 1, kChunk, input)) != 0) {
            if (std::fwrite(buffer.get(), 1, got, direct_) != got) {
                const int error = errno;
                std::fclose(input);
                Fail(error);
            }
        }
        const bool failed = std::ferror(input) != 0;
        const int error = errno;
        std::fclose(input);
        if (failed)
            Fail(error);
        scratch_.Remove();
    }
    if (std::fflush(direct_) != 0)
        Fail(errno);
    if (direct_ != stdout) {
        std::FILE* direct = direct_;
        direct_ = nullptr;
        // A device may tell of a failed write only when it is closed.
        if (std::fclose(direct) != 0)
            Fail(errno);
    }
}

} // namespace Tool
} // namespace Halvorn
