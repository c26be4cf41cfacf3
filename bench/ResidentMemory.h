// The process's resident memory as the kernel counts it, for benchmarks that report what a
// structure really costs (allocator rounding and page granularity included).
//
// This is the one file of the benchmarks that talks to the operating system directly; it is
// Linux-only (/proc/self) and answers "unknown" elsewhere instead of failing the build.
#ifndef KORRIN_BENCH_RESIDENTMEMORY_H
#define KORRIN_BENCH_RESIDENTMEMORY_H

#include <cstdint>

namespace KorrinBench {

struct ResidentMemory {
    std::uint64_t current = 0; // VmRSS, bytes
    std::uint64_t peak = 0;    // VmHWM, bytes
};

// False when the figures cannot be read (not Linux, or /proc not mounted).
bool ReadResidentMemory(ResidentMemory& memory);

// Lowers the peak to the present resident size, so that a later peak belongs to what runs
// after the call rather than to an earlier benchmark. False when the kernel does not offer it.
bool ResetPeakResidentMemory();

// Hands memory the allocator keeps for reuse back to the system, so that a measurement
// starts from a heap that will grow for what it builds instead of recycling earlier
// benchmarks' freed blocks. Does nothing where the allocator offers no such call.
void ReleaseFreeMemory();

} // namespace KorrinBench

#endif
