// Fault injection for tests of failure paths: a Kernel and a Runtime that make chosen calls
// fail, and stores that refuse chosen operations. The Kernel and Runtime install themselves on
// construction, put back what they replaced on destruction and pass every call they do not
// fail on unchanged; instances nest (destroy them in reverse order). Used by one thread at a time.
//
//     KorrinTest::FaultyRuntime runtime;
//     runtime.FailCall(KorrinTest::RuntimeCall::Write, ENOSPC, 2);  // the second write fails
//     KorrinTest::RefusingDeltaIO store;
//     store.Refuse(KorrinTest::Call::Record, 7, 2);  // the second instruction written, and every later one
#ifndef KORRIN_TESTS_SUPPORT_FAULTS_H
#define KORRIN_TESTS_SUPPORT_FAULTS_H

#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <numeric>
#include <string>

#include <Vantrel/Vantrel.h>

#include "platform/Kernel.h"
#include "platform/Runtime.h"

namespace KorrinTest {

// Counts the calls of each kind of `Call`, an enumeration that ends in kCount, and says which
// must fail, and with which error number or code.
template <typename Call>
class FaultSchedule {
public:
    // The nth call of `call` counted from now (1-based) fails with `error`; with `onward`,
    // every later one too.
    void FailCall(Call call, int error, int nth = 1, bool onward = false)
    {
        const auto k = static_cast<std::size_t>(call);
        from_[k] = calls_[k] + nth;
        through_[k] = onward ? INT_MAX : from_[k];
        error_[k] = error;
    }
    // Calls of that kind, or of every kind, made so far, failed ones included.
    int Calls(Call call) const { return calls_[static_cast<std::size_t>(call)]; }
    int Calls() const { return std::accumulate(std::begin(calls_), std::end(calls_), 0); }

protected:
    // Counts one call; true when it must fail, with its error number in `error`.
    bool Next(Call call, int& error) const
    {
        const auto k = static_cast<std::size_t>(call);
        const int n = ++calls_[k];
        if (n < from_[k] || n > through_[k])
            return false;
        error = error_[k];
        return true;
    }

private:
    static constexpr std::size_t kKinds = static_cast<std::size_t>(Call::kCount);
    mutable int calls_[kKinds] = {};
    int from_[kKinds] = {};
    int through_[kKinds] = {};
    int error_[kKinds] = {};
};

enum class KernelCall { MoveReplacing, CopyOver, Remove, TempDirectory, UniqueTempFile, kCount };

// A failed call does nothing and answers false (0 for the temporary names); LastError() then
// answers the chosen error number until a call that goes through fails in turn.
class FaultyKernel final : public Halvorn::Platform::Kernel, public FaultSchedule<KernelCall> {
public:
    FaultyKernel() : wrapped_(Halvorn::Platform::InstallKernel(this)) {}
    ~FaultyKernel() override { Halvorn::Platform::InstallKernel(wrapped_); }
    FaultyKernel(const FaultyKernel&) = delete;
    FaultyKernel& operator=(const FaultyKernel&) = delete;

    bool MoveReplacing(const wchar_t* from, const wchar_t* to) override
    {
        return !Fails(KernelCall::MoveReplacing) && Passed(wrapped_->MoveReplacing(from, to));
    }
    bool CopyOver(const wchar_t* from, const wchar_t* to) override
    {
        return !Fails(KernelCall::CopyOver) && Passed(wrapped_->CopyOver(from, to));
    }
    bool Remove(const wchar_t* path) override
    {
        return !Fails(KernelCall::Remove) && Passed(wrapped_->Remove(path));
    }
    std::uint32_t LastError() override
    {
        return injected_ ? static_cast<std::uint32_t>(error_) : wrapped_->LastError();
    }
    std::uint32_t TempDirectory(std::uint32_t size, wchar_t* buffer) override
    {
        return Fails(KernelCall::TempDirectory) ? 0 : Passed(wrapped_->TempDirectory(size, buffer));
    }
    std::uint32_t UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                 std::uint32_t size) override
    {
        return Fails(KernelCall::UniqueTempFile)
                   ? 0
                   : Passed(wrapped_->UniqueTempFile(directory, prefix, buffer, size));
    }

private:
    bool Fails(KernelCall call) { return Next(call, error_) && (injected_ = true); }
    // A real failure of a call that went through takes over LastError().
    template <typename Result>
    Result Passed(Result result)
    {
        injected_ = injected_ && result;
        return result;
    }

    Halvorn::Platform::Kernel* wrapped_;
    bool injected_ = false;
    int error_ = 0;
};

enum class RuntimeCall { Stat, Open, Read, Write, Seek, Close, OpenStream, ReadStream, CloseStream, kCount };

// A failed call answers as the real one would on failure: -1 (null for OpenStream, 0 for
// ReadStream with the stream's error indicator set) with errno set to the chosen number. A
// failed Close or CloseStream still gives the descriptor or stream up, as the real calls do.
class FaultyRuntime final : public Halvorn::Platform::Runtime, public FaultSchedule<RuntimeCall> {
public:
    FaultyRuntime() : wrapped_(Halvorn::Platform::InstallRuntime(this)) {}
    ~FaultyRuntime() override { Halvorn::Platform::InstallRuntime(wrapped_); }
    FaultyRuntime(const FaultyRuntime&) = delete;
    FaultyRuntime& operator=(const FaultyRuntime&) = delete;

    // Every Stat, Open and OpenStream of exactly `path` fails with `error`.
    void FailOpenOf(const std::wstring& path, int error) { failingPaths_[path] = error; }
    // Descriptors and streams opened since this runtime was installed, less those closed.
    int Held() const { return held_; }

    int Stat(const std::wstring& path, Halvorn::Platform::FileStatus& status) override
    {
        return Fails(RuntimeCall::Stat, &path) ? -1 : wrapped_->Stat(path, status);
    }
    int Open(const std::wstring& path, Halvorn::Platform::OpenMode mode) override
    {
        const int descriptor = Fails(RuntimeCall::Open, &path) ? -1 : wrapped_->Open(path, mode);
        held_ += descriptor >= 0;
        return descriptor;
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
    int Close(int descriptor) override
    {
        --held_;
        return Fails(RuntimeCall::Close) ? Still(-1, [&] { wrapped_->Close(descriptor); })
                                         : wrapped_->Close(descriptor);
    }
    std::FILE* OpenStream(const std::wstring& path) override
    {
        std::FILE* stream = Fails(RuntimeCall::OpenStream, &path) ? nullptr : wrapped_->OpenStream(path);
        held_ += stream != nullptr;
        return stream;
    }
    // Callers tell an error from the end of the file by the error indicator, which writing to
    // a stream open for reading sets.
    std::size_t ReadStream(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) override
    {
        return Fails(RuntimeCall::ReadStream) ? Still(std::size_t{0}, [&] { std::fputc(0, stream); })
                                              : wrapped_->ReadStream(buffer, size, count, stream);
    }
    int CloseStream(std::FILE* stream) override
    {
        --held_;
        return Fails(RuntimeCall::CloseStream) ? Still(-1, [&] { wrapped_->CloseStream(stream); })
                                               : wrapped_->CloseStream(stream);
    }

private:
    // Counts the call; true, with errno set, when it must fail.
    bool Fails(RuntimeCall call, const std::wstring* path = nullptr)
    {
        int error = 0;
        const bool scheduled = Next(call, error);
        const auto failing = path != nullptr ? failingPaths_.find(*path) : failingPaths_.end();
        if (!scheduled && failing == failingPaths_.end())
            return false;
        errno = scheduled ? error : failing->second;
        return true;
    }
    // What a failed call still does to its argument, keeping the injected errno: `result`.
    template <typename Result, typename Action>
    static Result Still(Result result, Action action)
    {
        const int error = errno;
        action();
        errno = error;
        return result;
    }

    Halvorn::Platform::Runtime* wrapped_;
    std::map<std::wstring, int> failingPaths_;
    int held_ = 0;
};

// What a store may refuse. Properties are refused both ways. Record is a block or an
// instruction written, ReadRecord an instruction read; Lookup and BlockLookup are the two
// forms of a signature's Find.
// clang-format off
enum class Call { Version, Window, Size, Time, Sha1, Finish, Record, ReadRecord, Lookup, BlockLookup, kCount };
// clang-format on

// An in-memory store but for the calls refused. A refused read of the SHA-1 value scribbles
// over it, so that a caller trusting it shows.
template <typename Store>
class Refusing : public Store, public FaultSchedule<Call> {
public:
    // From the nth call of `call` on (1-based, counted from now), every one is refused with `code`.
    void Refuse(Call call, int code, int nth = 1) { FailCall(call, code, nth, true); }

    // clang-format off
#define KORRIN_REFUSABLE(name, type, call) \
    int name(type v) override { return Or(Call::call, [&] { return Store::name(v); }); }
    KORRIN_REFUSABLE(WriteVersion, std::uint32_t, Version)
    KORRIN_REFUSABLE(ReadVersion, std::uint32_t&, Version)
    KORRIN_REFUSABLE(WriteWindowSize, std::uint32_t, Window)
    KORRIN_REFUSABLE(ReadWindowSize, std::uint32_t&, Window)
    KORRIN_REFUSABLE(WriteFileSize, std::uint64_t, Size)
    KORRIN_REFUSABLE(ReadFileSize, std::uint64_t&, Size)
    KORRIN_REFUSABLE(WriteFileModifiedTime, const std::int64_t&, Time)
    KORRIN_REFUSABLE(ReadFileModifiedTime, std::int64_t&, Time)
    KORRIN_REFUSABLE(WriteFileDigest, const _sha1_hash&, Sha1)
#undef KORRIN_REFUSABLE
    // clang-format on
    int ReadFileDigest(_sha1_hash& v) override
    {
        int code = 0;
        if (!Next(Call::Sha1, code))
            return Store::ReadFileDigest(v);
        for (unsigned char& byte : v.bytes)
            byte = 0xEE;
        return code;
    }
    int Finish() override
    {
        return Or(Call::Finish, [&] { return Store::Finish(); });
    }

protected:
    // The code of a refusal of `call`, or what `pass` answers.
    template <typename Pass>
    int Or(Call call, Pass pass) const
    {
        int code = 0;
        return Next(call, code) ? code : pass();
    }
};

class RefusingDigestIO : public Refusing<Halvorn::Vantrel::MemoryDigestIO> {
public:
    int WriteDigest(std::uint32_t index, const std::uint32_t& checksum, const _md5_hash& md5) override
    {
        return Or(Call::Record, [&] { return MemoryDigestIO::WriteDigest(index, checksum, md5); });
    }
    int Find(const std::uint32_t& checksum, bool& found) const override
    {
        return Or(Call::Lookup, [&] { return MemoryDigestIO::Find(checksum, found); });
    }
    int Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
             std::uint32_t& index) const override
    {
        return Or(Call::BlockLookup, [&] { return MemoryDigestIO::Find(checksum, md5, found, index); });
    }
};

class RefusingDeltaIO : public Refusing<Halvorn::Vantrel::MemoryDeltaIO> {
public:
    int WriteDelta(const unsigned char* data, std::uint32_t length) override
    {
        return Or(Call::Record, [&] { return MemoryDeltaIO::WriteDelta(data, length); });
    }
    int WriteDelta(std::uint32_t index) override
    {
        return Or(Call::Record, [&] { return MemoryDeltaIO::WriteDelta(index); });
    }
    int ReadDelta(void** cursor, boost::shared_ptr<Halvorn::Vantrel::DeltaEntry>& entry) override
    {
        return Or(Call::ReadRecord, [&] { return MemoryDeltaIO::ReadDelta(cursor, entry); });
    }
};

} // namespace KorrinTest

#endif
