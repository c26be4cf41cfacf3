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

OutputFile::OutputFile(const std::string& name, std::string what)
    : name_(name), what_(std::move(what)), standardOutput_(IsStandardStream(name))
{
    if (standardOutput_)
        return;
    System::FileInfo info;
    if (System::Examine(name_, info) && info.directory)
        throw Failure("cannot write " + what_ + " " + name_ + ": it is a directory");
    scratch_ = ScratchFile::Beside(name_, what_, stream_);
}

OutputFile::~OutputFile()
{
    if (stream_ != nullptr)
        std::fclose(stream_);
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
    std::FILE* stream = standardOutput_ ? stdout : stream_;
    if (count != 0 && std::fwrite(bytes, 1, count, stream) != count)
        Fail(errno);
}

const std::string& OutputFile::PathForLibrary()
{
    if (standardOutput_) {
        if (scratch_.Path().empty())
            scratch_ = ScratchFile::Temporary(what_);
    } else {
        CloseStream();
    }
    return scratch_.Path();
}

void OutputFile::Commit()
{
    if (!standardOutput_) {
        CloseStream();
        if (!scratch_.MoveTo(name_))
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
            if (std::fwrite(buffer.get(), 1, got, stdout) != got) {
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
    if (std::fflush(stdout) != 0)
        Fail(errno);
}

} // namespace Tool
} // namespace Halvorn
