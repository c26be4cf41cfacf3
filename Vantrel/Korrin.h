// The engine: the object through which a client makes signatures and deltas and applies
// them. It carries one setting, the window size (the block length of signatures), and owns
// nothing else; it is copyable and can serve any number of operations in any order.
#ifndef VANTREL_KORRIN_H
#define VANTREL_KORRIN_H

#include <cstdint>

#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API Korrin {
public:
    Korrin();
    Korrin(const Korrin& other);
    Korrin& operator=(const Korrin& other);
    virtual ~Korrin();

    // Any value is stored as given; the operations that use it judge it.
    void SetWindowSize(std::uint32_t windowSize);
    void GetWindowSize(std::uint32_t& windowSize) const;

private:
    std::uint32_t windowSize_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
