// A Runtime that makes chosen calls fail, for tests of failure paths. It installs itself on
// construction and puts back the runtime it replaced on destruction; every call it does not
// fail goes to that runtime unchanged. A failed call answers as the real call would on
// failure: -1 (null for OpenStream, 0 for ReadStream, with the stream's error indicator set)
// with errno set to the chosen error number. It does not reach the wrapped runtime, except
// that a failed Close or CloseStream still releases the descriptor or stream, as the real
// calls do.
//
//     KorrinTest::FaultyRuntime runtime;
//     runtime.FailCall(KorrinTest::RuntimeCall::Write, ENOSPC, 2);  // the second write fails
//
// Used by one thread at a time; instances nest (destroy them in reverse order).
#ifndef KORRIN_TESTS_SUPPORT_FAULTYRUNTIME_H
#define KORRIN_TESTS_SUPPORT_FAULTYRUNTIME_H

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/Runtime.h"
#include "support/FaultSchedule.h"

namespace KorrinTest {

enum class RuntimeCall { Stat, Open, Read, Write, Seek, Close, OpenStream, ReadStream, CloseStream };

class FaultyRuntime final : public Halvorn::Platform::Runtime {
public:
    FaultyRuntime() : wrapped_(Halvorn::Platform::InstallRuntime(this)) {}
    ~FaultyRuntime() override { Halvorn::Platform::InstallRuntime(wrapped_); }
    FaultyRuntime(const FaultyRuntime&) = delete;
    FaultyRuntime& operator=(const FaultyRuntime&) = delete;

    // The nth call of `call` counted from now (1-based) fails with `error`; with `sticky`,
    // every later one as well.
    void FailCall(RuntimeCall call, int error, int nth = 1, bool sticky = false)
    {
        schedule_.Add(call, error, nth, sticky);
    }
    // Every Stat, Open and OpenStream of exactly `path` fails with `error`.
    void FailOpenOf(const std::wstring& path, int error) { failingPaths_.emplace_back(path, error); }
    // Calls of that kind made through this runtime, failed ones included.
    int Calls(RuntimeCall call) const { return schedule_.Calls(call); }

    int Stat(const std::wstring& path, Halvorn::Platform::FileStatus& status) override
    {
        return Fails(RuntimeCall::Stat, path) ? -1 : wrapped_->Stat(path, status);
    }
    int Open(const std::wstring& path, Halvorn::Platform::OpenMode mode) override
    {
        return Fails(RuntimeCall::Open, path) ? -1 : wrapped_->Open(path, mode);
    }
    std::int64_t Read(int descriptor, void* buffer, std::uint32_t count) override
    {
        return Fails(RuntimeCall::Read) ? -1 : wrapped_->Read(descriptor, buffer, count);
    }
    std::int64_t Write(int descriptor, const void* buffer, std::uint32_t count) override
    {
        return Fails(RuntimeCall::Write) ? -1 : wrapped_->Write(descriptor, buffer, count);
    }
    std::int64_t Seek(int descriptor, std::int64_t offset) override
    {
        return Fails(RuntimeCall::Seek) ? -1 : wrapped_->Seek(descriptor, offset);
    }
    // A failed close still gives the descriptor up, as close(2) does, so that tests do not leak it.
    int Close(int descriptor) override
    {
        return Fails(RuntimeCall::Close) ? AfterKeepingErrno([&] { wrapped_->Close(descriptor); }, -1)
                                         : wrapped_->Close(descriptor);
    }
    std::FILE* OpenStream(const std::wstring& path) override
    {
        return Fails(RuntimeCall::OpenStream, path) ? nullptr : wrapped_->OpenStream(path);
    }
    // fread sets the stream's error indicator on a failure, and callers tell an error from the
    // end of the file by it. Writing to a stream open for reading only sets it.
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) override
    {
        return Fails(RuntimeCall::ReadStream) ? AfterKeepingErrno([&] { std::fputc(0, stream); }, std::size_t{0})
                                              : wrapped_->ReadStream(buffer, size, count, stream);
    }
    // As with Close: fclose releases the stream even when it reports a failure.
    int CloseStream(std::FILE* stream) override
    {
        return Fails(RuntimeCall::CloseStream) ? AfterKeepingErrno([&] { wrapped_->CloseStream(stream); }, -1)
                                               : wrapped_->CloseStream(stream);
    }

private:
    // Counts the call; true (with errno set) when it must fail.
    bool Fails(RuntimeCall call)
    {
        int error = 0;
        if (!schedule_.Next(call, error))
            return false;
        errno = error;
        return true;
    }
    bool Fails(RuntimeCall call, const std::wstring& path)
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
    // For a failed call that must still act on its argument: runs `action`, puts the injected
    // errno back and answers `result`.
    template <typename Action, typename Result>
    static Result AfterKeepingErrno(Action action, Result result)
    {
        const int error = errno;
        action();
        errno = error;
        return result;
    }

    Halvorn::Platform::Runtime* wrapped_;
    FaultSchedule<RuntimeCall, 9> schedule_;
    std::vector<std::pair<std::wstring, int>> failingPaths_;
};

} // namespace KorrinTest

#endif
