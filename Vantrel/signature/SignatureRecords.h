// What the signature's record format fixes beyond the records every blob shares: the tag and
// size of a block group's record and the size of the fixed parts.
//   V version (4) | W window size (4) | F file size (8) | D block index (4), checksum (4),
//   MD5 (16), one per group in checksum order | M modified time (8) | C SHA-1 (20), which
//   ends the signature
#ifndef VANTREL_SIGNATURE_SIGNATURERECORDS_H
#define VANTREL_SIGNATURE_SIGNATURERECORDS_H

#include <cstdint>

#include "Vantrel/io/BlobRecords.h"

namespace Halvorn {
namespace Vantrel {

constexpr unsigned char kBlockTag = 0x44;

constexpr std::uint32_t kBlockPayloadBytes = 24;
constexpr std::uint64_t kGroupRecordBytes = 1 + kBlockPayloadBytes;
constexpr std::uint64_t kFixedSignatureBytes = kHeadRecordBytes + kTailRecordBytes;

} // namespace Vantrel
} // namespace Halvorn

#endif
