// The signature blob: tagged records, integers little-endian and unaligned, no header (the
// records are listed in SignatureRecords.h).
#include <Vantrel/MemoryDigestIO.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlobRecords.h"
#include "Vantrel/signature/BlockTable.h"
#include "Vantrel/signature/SignatureRecords.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kReadFromBlob = "Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob";

int Malformed(int line)
{
    return ReportError(RESULT_FAILED, nullptr, kReadFromBlob, line);
}

} // namespace

void MemoryDigestIO::WriteToBlob(unsigned char** blob, std::uint32_t* size)
{
    *blob = nullptr;
    *size = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> out(nullptr, std::free);
    try {
        const BlockTable::Ordered table = table_->Order();
        const std::uint64_t length = kFixedSignatureBytes + kGroupRecordBytes * table.Groups();
        out.reset(AllocateBlob(length));
        if (!out)
            return;
        unsigned char* p = PutHeadRecords(out.get(), version_, windowSize_, fileSize_);
        table.ForEach([&p](std::uint32_t checksum, const DigestEntry& group) {
            *p++ = kBlockTag;
            p = PutLittleEndian(p, group.blockIndices.front());
            p = PutLittleEndian(p, checksum);
            std::memcpy(p, group.md5.bytes, sizeof group.md5.bytes);
            p += sizeof group.md5.bytes;
        });
        PutTailRecords(p, modifiedTime_, fileDigest_);
        *size = static_cast<std::uint32_t>(length);
        *blob = out.release();
    } catch (const std::bad_alloc&) {
        // No memory to put the table in order: no blob, as when the blob itself cannot be had.
    }
}

int MemoryDigestIO::ReadFromBlob(const unsigned char* blob, std::uint32_t size)
{
    if (!table_->Empty())
        return Malformed(__LINE__);

    const unsigned char* p = blob;
    const unsigned char* const end = blob == nullptr ? blob : blob + size;
    auto left = [&]() { return static_cast<std::size_t>(end - p); };

    while (left() > 0) {
        switch (*p++) {
        case kVersionTag:
            if (left() < 4)
                return Malformed(__LINE__);
            version_ = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            break;
        case kWindowTag:
            if (left() < 4)
                return Malformed(__LINE__);
            windowSize_ = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            break;
        case kFileSizeTag:
            if (left() < 8)
                return Malformed(__LINE__);
            fileSize_ = GetLittleEndian<std::uint64_t>(p);
            p += 8;
            break;
        case kBlockTag: {
            if (left() < 4)
                return Malformed(__LINE__);
            const auto blockIndex = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            if (left() < 4)
                return Malformed(__LINE__);
            const auto checksum = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            if (left() < 16)
                return Malformed(__LINE__);
            _md5_hash md5;
            std::memcpy(md5.bytes, p, sizeof md5.bytes);
            p += sizeof md5.bytes;
            // Through the interface, so that a store derived from this one sees every block.
            if (WriteDigest(blockIndex, checksum, md5) != RESULT_OK)
                return Malformed(__LINE__);
            break;
        }
        case kTimeTag:
            if (left() < 8)
                return Malformed(__LINE__);
            modifiedTime_ = GetLittleEndian<std::int64_t>(p);
            p += 8;
            break;
        case kSha1Tag:
            if (left() < 20)
                return Malformed(__LINE__);
            std::memcpy(fileDigest_.bytes, p, sizeof fileDigest_.bytes);
            // The SHA-1 record ends the blob; whatever follows is not looked at.
            return RESULT_OK;
        default:
            return Malformed(__LINE__);
        }
    }
    // Ended on a record boundary without the SHA-1 record.
    return RESULT_FAILED;
}

} // namespace Vantrel
} // namespace Halvorn
