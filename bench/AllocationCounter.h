// Counts calls of the global operator new in the benchmark binary, so that a benchmark can
// show that a loop allocates nothing.
#ifndef KORRIN_BENCH_ALLOCATIONCOUNTER_H
#define KORRIN_BENCH_ALLOCATIONCOUNTER_H

#include <cstdint>

namespace KorrinBench {

std::uint64_t AllocationCount();

} // namespace KorrinBench

#endif
