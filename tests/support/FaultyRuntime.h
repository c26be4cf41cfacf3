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

#include <string>
#include <utility>
#include <vector>

#include "platform/Runtime.h"
#include "support/FaultSchedule.h"

namespace KorrinTest {

enum class RuntimeCall { Stat, Open, Read, Write, Seek, Close, OpenStream, ReadStream, CloseStream };

class FaultyRuntime final : public Halvorn::Platform::Runtime {
public:
    FaultyRuntime();
    ~FaultyRuntime() override;
    FaultyRuntime(const FaultyRuntime&) = delete;
    FaultyRuntime& operator=(const FaultyRuntime&) = delete;

    // The nth call of `call` counted from now (1-based) fails with `error`; with `sticky`,
    // every later one as well. Rules accumulate until Clear().
    void FailCall(RuntimeCall call, int error, int nth = 1, bool sticky = false);
    // Every Stat, Open and OpenStream of exactly `path` fails with `error`.
    void FailOpenOf(const std::wstring& path, int error);
    // Calls of that kind made through this runtime, failed ones included.
    int Calls(RuntimeCall call) const;
    // Drops every rule and sets the counts back to zero.
    void Clear();

    int Stat(const std::wstring& path, Halvorn::Platform::FileStatus& status) override;
    int Open(const std::wstring& path, Halvorn::Platform::OpenMode mode) override;
    std::int64_t Read(int descriptor, void* buffer, std::uint32_t count) override;
    std::int64_t Write(int descriptor, const void* buffer, std::uint32_t count) override;
    std::int64_t Seek(int descriptor, std::int64_t offset) override;
    int Close(int descriptor) override;
    std::FILE* OpenStream(const std::wstring& path) override;
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) override;
    int CloseStream(std::FILE* stream) override;

private:
    // Counts the call; true (with errno set) when it must fail.
    bool Fails(RuntimeCall call);
    bool Fails(RuntimeCall call, const std::wstring& path);

    Halvorn::Platform::Runtime* wrapped_;
    FaultSchedule<RuntimeCall, 9> schedule_;
    std::vector<std::pair<std::wstring, int>> failingPaths_;
};

} // namespace KorrinTest

#endif
