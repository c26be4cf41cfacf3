// What the signature blob and the delta blob share: the tags, the records around the
// blocks or instructions, and the allocation that a blob's 32-bit size allows.
#ifndef VANTREL_IO_BLOBRECORDS_H
#define VANTREL_IO_BLOBRECORDS_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <Vantrel/HashValues.h>

#include "Vantrel/io/LittleEndian.h"

namespace Halvorn {
namespace Vantrel {

constexpr unsigned char kVersionTag = 0x56;
constexpr unsigned char kWindowTag = 0x57;
constexpr unsigned char kFileSizeTag = 0x46;
constexpr unsigned char kTimeTag = 0x4D;
constexpr unsigned char kSha1Tag = 0x43;

constexpr std::uint32_t kHeadRecordBytes = 19; // V, W and F
constexpr std::uint32_t kTailRecordBytes = 30; // M and C

// The payload's length of a property record by its tag; 0 for a byte that tags none.
constexpr std::uint32_t PropertyPayload(unsigned char tag)
{
    switch (tag) {
    case kVersionTag:
    case kWindowTag:
        return 4;
    case kFileSizeTag:
    case kTimeTag:
        return 8;
    case kSha1Tag:
        return 20;
    default:
        return 0;
    }
}

// A malloc'd buffer of `length` bytes, the caller's to free; null when the length does not
// fit a blob's 32-bit size or there is no memory.
inline unsigned char* AllocateBlob(std::uint64_t length)
{
    if (length > UINT32_MAX)
        return nullptr;
    return static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(length)));
}

// The version, window and file size records that open a blob.
inline unsigned char* PutHeadRecords(unsigned char* p, std::uint32_t version, std::uint32_t window,
                                     std::uint64_t fileSize)
{
    *p++ = kVersionTag;
    p = PutLittleEndian(p, version);
    *p++ = kWindowTag;
    p = PutLittleEndian(p, window);
    *p++ = kFileSizeTag;
    return PutLittleEndian(p, fileSize);
}

// The time and SHA-1 records that close a blob.
inline unsigned char* PutTailRecords(unsigned char* p, std::int64_t modifiedTime, const _sha1_hash& digest)
{
    *p++ = kTimeTag;
    p = PutLittleEndian(p, modifiedTime);
    *p++ = kSha1Tag;
    std::memcpy(p, digest.bytes, sizeof digest.bytes);
    return p + sizeof digest.bytes;
}

} // namespace Vantrel
} // namespace Halvorn

#endif
