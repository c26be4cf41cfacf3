// The scan of delta generation over positions that surely match nothing: a pass over many
// positions at once that stops at the first whose checksum the signature has.
#ifndef VANTREL_ENGINE_CERTAINMISSES_H
#define VANTREL_ENGINE_CERTAINMISSES_H

#include <cstdint>

#include "Vantrel/signature/ChecksumProbe.h"

namespace Halvorn {
namespace Vantrel {

// Positions whose checksum no block has are the common case, and they need none of the
// per-position bookkeeping as long as the window stays full and the pending literal run has
// room: no instruction, no read, and the lookup answered by the store's own filter and index.
// This passes over up to `limit` of them, the first at the window's first byte `bytes`, and
// stops at the first one whose checksum the signature has. `checksum` is the checksum of the
// position before the first, `leaving` that position's first byte; on return `checksum` is
// the last passed position's. Returns how many positions it passed.
//
// The checksums of a chunk of positions are rolled at once, then tested against the filter
// at once, both in vector lanes where the processor has them, with many filter reads under
// way together. The few positions the filter does not rule out go on to the index, whose
// reads mostly miss the caches: they are started at once, and the next chunk is made before
// they are looked at.
std::uint32_t PassCertainMisses(const unsigned char* bytes, std::uint32_t limit, std::uint32_t window,
                                const ChecksumProbe& probe, std::uint32_t& checksum, unsigned char leaving);

} // namespace Vantrel
} // namespace Halvorn

#endif
