#include <Vantrel/IDigestAccumulator.h>

namespace Halvorn {
namespace Vantrel {

// Out of line so that the vtable is emitted, and exported, from the library alone.
IDigestAccumulator::~IDigestAccumulator() = default;

} // namespace Vantrel
} // namespace Halvorn
