#include "support/FaultyKernel.h"

namespace KorrinTest {

using Halvorn::Platform::InstallKernel;

FaultyKernel::FaultyKernel() : wrapped_(InstallKernel(this)) {}

FaultyKernel::~FaultyKernel()
{
    InstallKernel(wrapped_);
}

void FaultyKernel::FailCall(KernelCall call, int error, int nth, bool sticky)
{
    schedule_.Add(call, error, nth, sticky);
}

int FaultyKernel::Calls(KernelCall call) const
{
    return schedule_.Calls(call);
}

void FaultyKernel::Clear()
{
    schedule_.Clear();
    lastFailureInjected_ = false;
}

bool FaultyKernel::Fails(KernelCall call)
{
    int error = 0;
    if (!schedule_.Next(call, error))
        return false;
    lastFailureInjected_ = true;
    injectedError_ = error;
    return true;
}

template <typename Result>
Result FaultyKernel::Passed(Result result)
{
    if (!result)
        lastFailureInjected_ = false;
    return result;
}

bool FaultyKernel::MoveReplacing(const wchar_t* from, const wchar_t* to)
{
    return !Fails(KernelCall::MoveReplacing) && Passed(wrapped_->MoveReplacing(from, to));
}

bool FaultyKernel::CopyOver(const wchar_t* from, const wchar_t* to)
{
    return !Fails(KernelCall::CopyOver) && Passed(wrapped_->CopyOver(from, to));
}

bool FaultyKernel::Remove(const wchar_t* path)
{
    return !Fails(KernelCall::Remove) && Passed(wrapped_->Remove(path));
}

std::uint32_t FaultyKernel::LastError()
{
    return lastFailureInjected_ ? static_cast<std::uint32_t>(injectedError_) : wrapped_->LastError();
}

std::uint32_t FaultyKernel::TempDirectory(std::uint32_t size, wchar_t* buffer)
{
    return Fails(KernelCall::TempDirectory) ? 0 : Passed(wrapped_->TempDirectory(size, buffer));
}

std::uint32_t FaultyKernel::UniqueTempFile(const wchar_t* directory, const wchar_t* prefix, wchar_t* buffer,
                                           std::uint32_t size)
{
    return Fails(KernelCall::UniqueTempFile)
               ? 0
               : Passed(wrapped_->UniqueTempFile(directory, prefix, buffer, size));
}

} // namespace KorrinTest
