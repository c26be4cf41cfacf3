#include "platform/Runtime.h"

#include <atomic>

namespace Halvorn {
namespace Platform {

namespace {
std::atomic<Runtime*> installed{nullptr};
}

Runtime& CurrentRuntime()
{
    Runtime* runtime = installed.load(std::memory_order_acquire);
    return runtime != nullptr ? *runtime : NativeRuntime();
}

Runtime* InstallRuntime(Runtime* runtime)
{
    Runtime* previous = installed.exchange(runtime, std::memory_order_acq_rel);
    return previous != nullptr ? previous : &NativeRuntime();
}

} // namespace Platform
} // namespace Halvorn
