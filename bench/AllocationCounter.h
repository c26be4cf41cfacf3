// Counts calls of the global operator new in the benchmark binary, and the bytes they ask
// for, so that a benchmark can show that a loop allocates nothing or what a structure requests.
#ifndef KORRIN_BENCH_ALLOCATIONCOUNTER_H
#define KORRIN_BENCH_ALLOCATIONCOUNTER_H

#include <cstdint>

namespace KorrinBench {

std::uint64_t AllocationCount();
// Bytes requested from operator new so far; frees do not lower it.
std::uint64_t AllocatedBytes();

} // namespace KorrinBench

#endif
