#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> allocatedBytes{0};
} // namespace

namespace KorrinBench {

std::uint64_t AllocationCount()
{
    return allocations.load(std::memory_order_relaxed);
}

std::uint64_t AllocatedBytes()
{
    return allocatedBytes.load(std::memory_order_relaxed);
}

} // namespace KorrinBench

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    allocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
