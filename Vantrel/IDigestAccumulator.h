// An empty interface offered to clients that want a common base for their own
// accumulators. The library's digests do not derive from it.
#ifndef VANTREL_IDIGESTACCUMULATOR_H
#define VANTREL_IDIGESTACCUMULATOR_H

#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

struct KORRIN_API IDigestAccumulator {
    IDigestAccumulator() = default;
    IDigestAccumulator(const IDigestAccumulator&) = default;
    IDigestAccumulator& operator=(const IDigestAccumulator&) = default;
    virtual ~IDigestAccumulator();
};

} // namespace Vantrel
} // namespace Halvorn

#endif
