// How a signature hands out its block table: groups of blocks that share a rolling checksum
// and an MD5 value, keyed by checksum in ascending order.
#ifndef VANTREL_DIGESTENTRY_H
#define VANTREL_DIGESTENTRY_H

#include <cstdint>
#include <map>
#include <vector>

#include <Vantrel/HashValues.h>

namespace Halvorn {
namespace Vantrel {

struct DigestEntry {
    // In the order they were added, never empty; an index added twice stands twice.
    std::vector<std::uint32_t> blockIndices;
    _md5_hash md5;
};

// Checksum to its groups, one per distinct MD5 value, in the order each value first came.
using DigestMap = std::map<std::uint32_t, std::vector<DigestEntry>>;

} // namespace Vantrel
} // namespace Halvorn

#endif
