// The test program's operator new (defined beside the signature store's tests) refuses
// requests of at least refuseFrom bytes while it is nonzero, with std::bad_alloc: enough to
// deny a store its index, or to show that an operation never asks for more than its files
// justify. Set it for one scope with RefuseAllocationsFrom.
#ifndef KORRIN_TESTS_SUPPORT_ALLOCATIONS_H
#define KORRIN_TESTS_SUPPORT_ALLOCATIONS_H

#include <atomic>
#include <cstddef>

namespace KorrinTest {

extern std::atomic<std::size_t> refuseFrom;

class RefuseAllocationsFrom {
public:
    explicit RefuseAllocationsFrom(std::size_t bytes) { refuseFrom = bytes; }
    ~RefuseAllocationsFrom() { refuseFrom = 0; }
    RefuseAllocationsFrom(const RefuseAllocationsFrom&) = delete;
    RefuseAllocationsFrom& operator=(const RefuseAllocationsFrom&) = delete;
};

} // namespace KorrinTest

#endif
