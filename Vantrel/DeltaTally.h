// What has passed through a streaming delta store so far, in 64-bit counts: a delta on
// disk may outgrow the 32-bit counts of the store interface.
#ifndef VANTREL_DELTATALLY_H
#define VANTREL_DELTATALLY_H

#include <cstdint>

namespace Halvorn {
namespace Vantrel {

struct DeltaTally {
    std::uint64_t copies = 0;       // copy instructions
    std::uint64_t literals = 0;     // literal instructions
    std::uint64_t literalBytes = 0; // their bytes
    std::uint64_t bytes = 0;        // the size of the delta's records, as its blob would have it
};

} // namespace Vantrel
} // namespace Halvorn

#endif
