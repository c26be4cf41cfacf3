// A hint that a load from an address will come: the processor starts bringing its cache
// line in and goes on at once. For lookups whose address is known long before their answer
// is needed; the compilers without such a hint lose only the head start.
#ifndef KORRIN_PLATFORM_PREFETCH_H
#define KORRIN_PLATFORM_PREFETCH_H

namespace Halvorn {
namespace Platform {

inline void Prefetch(const void* address)
{
#if defined(__GNUC__)
    __builtin_prefetch(address);
    // GCC takes a loop that only prefetches for one without effect and drops it whole.
    __asm__ volatile("" : : "r"(address));
#else
    static_cast<void>(address);
#endif
}

} // namespace Platform
} // namespace Halvorn

#endif
