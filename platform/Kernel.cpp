#include "platform/Kernel.h"

#include <atomic>

namespace Halvorn {
namespace Platform {

namespace {
std::atomic<Kernel*> installed{nullptr};
}

Kernel& CurrentKernel()
{
    Kernel* kernel = installed.load(std::memory_order_acquire);
    return kernel != nullptr ? *kernel : NativeKernel();
}

Kernel* InstallKernel(Kernel* kernel)
{
    Kernel* previous = installed.exchange(kernel, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &NativeKernel();
}

} // namespace Platform
} // namespace Halvorn
