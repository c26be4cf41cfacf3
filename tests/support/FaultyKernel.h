// A Kernel that makes chosen calls fail, for tests of failure paths: installs itself on
// construction, puts back the kernel it replaced on destruction, and passes every call it
// does not fail to that kernel. A failed call does nothing and answers false (0 for the
// temporary-name calls); LastError() then answers the chosen error number until a call that
// goes through fails in turn. Used by one thread at a time.
//
//     KorrinTest::FaultyKernel kernel;
//     kernel.FailCall(KorrinTest::KernelCall::MoveReplacing, EXDEV);
#ifndef KORRIN_TESTS_SUPPORT_FAULTYKERNEL_H
#define KORRIN_TESTS_SUPPORT_FAULTYKERNEL_H

#include "platform/Kernel.h"
#include "support/FaultSchedule.h"

namespace KorrinTest {

enum class KernelCall { MoveReplacing, CopyOver, Remove, TempDirectory, UniqueTempFile };

class FaultyKernel final : public Halvorn::Platform::Kernel {
public:
    FaultyKernel() : wrapped_(Halvorn::Platform::InstallKernel(this)) {}
    ~FaultyKernel() override { Halvorn::Platform::InstallKernel(wrapped_); }
    FaultyKernel(const FaultyKernel&) = delete;
    FaultyKernel& operator=(const FaultyKernel&) = delete;

    // The nth call of `call` counted from now (1-based) fails with `error`; with `sticky`,
    // every later one as well.
    void FailCall(KernelCall call, int error, int nth = 1, bool sticky = false)
    {
        schedule_.Add(call, error, nth, sticky);
    }
    // Calls of that kind made through this kernel, failed ones included.
    int Calls(KernelCall call) const { return schedule_.Calls(call); }

    bool MoveReplacing(const wchar_t* from, const wchar_t* to) override
    {
        return !Fails(KernelCall::MoveReplacing) && Passed(wrapped_->MoveReplacing(from, to));
    }
    bool CopyOver(const wchar_t* from, const wchar_t* to) override
    {
        return !Fails(KernelCall::CopyOver) && Passed(wrapped_->CopyOver(from, to));
    }
    bool Remove(const wchar_t* path) override { return !Fails(KernelCall::Remove) && Passed(wrapped_->Remove(path)); }
    std::uint32_t LastError() override
    {
        return lastFailureInjected_ ? static_cast<std::uint32_t>(injectedError_) : wrapped_->LastError();
    }
    std::uint32_t TempDirectory(std::uint32_t size, wchar_t* buffer) override
    {
        return Fails(KernelCall::TempDirectory) ? 0 : Passed(wrapped_->TempDirectory(size, buffer));
    }
    std::uint32_t UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                 std::uint32_t size) override
    {
        return Fails(KernelCall::UniqueTempFile) ? 0 : Passed(wrapped_->UniqueTempFile(directory, prefix, buffer, size));
    }

private:
    // Counts the call; true when it must fail, after which LastError() answers the rule's error.
    bool Fails(KernelCall call)
    {
        int error = 0;
        if (!schedule_.Next(call, error))
            return false;
        lastFailureInjected_ = true;
        injectedError_ = error;
        return true;
    }
    // Notes the result of a call that went through: a real failure takes over LastError().
    template <typename Result>
    Result Passed(Result result)
    {
        if (!result)
            lastFailureInjected_ = false;
        return result;
    }

    Halvorn::Platform::Kernel* wrapped_;
    FaultSchedule<KernelCall, 5> schedule_;
    bool lastFailureInjected_ = false;
    int injectedError_ = 0;
};

} // namespace KorrinTest

#endif
