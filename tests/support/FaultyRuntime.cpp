#include "support/FaultyRuntime.h"

#include <cerrno>

namespace KorrinTest {

using Halvorn::Platform::FileStatus;
using Halvorn::Platform::InstallRuntime;
using Halvorn::Platform::OpenMode;

FaultyRuntime::FaultyRuntime() : wrapped_(InstallRuntime(this)) {}

FaultyRuntime::~FaultyRuntime()
{
    InstallRuntime(wrapped_);
}

void FaultyRuntime::FailCall(RuntimeCall call, int error, int nth, bool sticky)
{
    schedule_.Add(call, error, nth, sticky);
}

void FaultyRuntime::FailOpenOf(const std::wstring& path, int error)
{
    failingPaths_.emplace_back(path, error);
}

int FaultyRuntime::Calls(RuntimeCall call) const
{
    return schedule_.Calls(call);
}

void FaultyRuntime::Clear()
{
    schedule_.Clear();
    failingPaths_.clear();
}

bool FaultyRuntime::Fails(RuntimeCall call)
{
    int error = 0;
    if (!schedule_.Next(call, error))
        return false;
    errno = error;
    return true;
}

bool FaultyRuntime::Fails(RuntimeCall call, const std::wstring& path)
{
    if (Fails(call))
        return true;
    for (const auto& failing : failingPaths_) {
        if (failing.first == path) {
            errno = failing.second;
            return true;
        }
    }
    return false;
}

int FaultyRuntime::Stat(const std::wstring& path, FileStatus& status)
{
    return Fails(RuntimeCall::Stat, path) ? -1 : wrapped_->Stat(path, status);
}

int FaultyRuntime::Open(const std::wstring& path, OpenMode mode)
{
    return Fails(RuntimeCall::Open, path) ? -1 : wrapped_->Open(path, mode);
}

std::int64_t FaultyRuntime::Read(int descriptor, void* buffer, std::uint32_t count)
{
    return Fails(RuntimeCall::Read) ? -1 : wrapped_->Read(descriptor, buffer, count);
}

std::int64_t FaultyRuntime::Write(int descriptor, const void* buffer, std::uint32_t count)
{
    return Fails(RuntimeCall::Write) ? -1 : wrapped_->Write(descriptor, buffer, count);
}

std::int64_t FaultyRuntime::Seek(int descriptor, std::int64_t offset)
{
    return Fails(RuntimeCall::Seek) ? -1 : wrapped_->Seek(descriptor, offset);
}

int FaultyRuntime::Close(int descriptor)
{
    // A failed close still gives the descriptor up, as close(2) does, so that tests do not leak it.
    if (Fails(RuntimeCall::Close)) {
        const int error = errno;
        wrapped_->Close(descriptor);
        errno = error;
        return -1;
    }
    return wrapped_->Close(descriptor);
}

std::FILE* FaultyRuntime::OpenStream(const std::wstring& path)
{
    return Fails(RuntimeCall::OpenStream, path) ? nullptr : wrapped_->OpenStream(path);
}

std::size_t FaultyRuntime::ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream)
{
    if (Fails(RuntimeCall::ReadStream)) {
        // fread sets the stream's error indicator on a failure, and callers tell an error from
        // the end of the file by it. Writing to a stream open for reading only sets it.
        const int error = errno;
        std::fputc(0, stream);
        errno = error;
        return 0;
    }
    return wrapped_->ReadStream(buffer, size, count, stream);
}

int FaultyRuntime::CloseStream(std::FILE* stream)
{
    // As with Close: fclose releases the stream even when it reports a failure.
    if (Fails(RuntimeCall::CloseStream)) {
        const int error = errno;
        wrapped_->CloseStream(stream);
        errno = error;
        return -1;
    }
    return wrapped_->CloseStream(stream);
}

} // namespace KorrinTest
