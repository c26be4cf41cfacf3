// What the delta's record format fixes beyond the records every blob shares: the tags of
// the two instructions and the sizes of the fixed parts.
//   V version (4) | W window size (4) | F file size (8) | instructions in order: D block
//   index (4), or B length (4) and the bytes | M modified time (8) | C SHA-1 (20)
#ifndef VANTREL_DELTA_DELTARECORDS_H
#define VANTREL_DELTA_DELTARECORDS_H

#include <cstdint>

#include "Vantrel/io/BlobRecords.h"

namespace Halvorn {
namespace Vantrel {

constexpr unsigned char kCopyTag = 0x44;
constexpr unsigned char kLiteralTag = 0x42;

constexpr std::uint32_t kInstructionRecordBytes = 5; // a tag and a 32-bit field
constexpr std::uint64_t kFixedDeltaBytes = kHeadRecordBytes + kTailRecordBytes;

} // namespace Vantrel
} // namespace Halvorn

#endif
