// While refuseFrom is nonzero, the test program's operator new (beside the signature store's
// tests) refuses requests of at least that many bytes with std::bad_alloc.
#ifndef KORRIN_TESTS_SUPPORT_ALLOCATIONS_H
#define KORRIN_TESTS_SUPPORT_ALLOCATIONS_H

#include <atomic>
#include <cstddef>

namespace KorrinTest {
extern std::atomic<std::size_t> refuseFrom;
struct RefuseAllocationsFrom {
    explicit RefuseAllocationsFrom(std::size_t bytes) { refuseFrom = bytes; }
    ~RefuseAllocationsFrom() { refuseFrom = 0; }
};
} // namespace KorrinTest

#endif
