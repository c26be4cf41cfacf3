// The delta blob: tagged records, integers little-endian and unaligned, no header (the
// records are listed in DeltaRecords.h).
#include <Vantrel/MemoryDeltaIO.h>

#include <cstdlib>
#include <cstring>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/delta/DeltaRecords.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlobRecords.h"

namespace Halvorn {
namespace Vantrel {

namespace {

constexpr const char* kReadFromBlob = "Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob";

int Malformed(int code, int line)
{
    return ReportError(code, nullptr, kReadFromBlob, line);
}

} // namespace

void MemoryDeltaIO::WriteToBlob(unsigned char** blob, std::uint32_t* size)
{
    *blob = nullptr;
    *size = 0;
    const std::uint64_t length = BlobSize();
    unsigned char* const out = AllocateBlob(length);
    if (out == nullptr)
        return;

    unsigned char* p = PutHeadRecords(out, version_, windowSize_, fileSize_);
    for (const auto& entry : entries_) {
        if (entry->type == DigestDelta) {
            *p++ = kCopyTag;
            p = PutLittleEndian(p, static_cast<const DigestDeltaEntry&>(*entry).blockIndex);
        } else {
            const auto& literal = static_cast<const BufferDeltaEntry&>(*entry);
            *p++ = kLiteralTag;
            p = PutLittleEndian(p, literal.length);
            if (literal.length != 0)
                std::memcpy(p, literal.buffer, literal.length);
            p += literal.length;
        }
    }
    PutTailRecords(p, modifiedTime_, fileDigest_);

    *blob = out;
    *size = static_cast<std::uint32_t>(length);
}

int MemoryDeltaIO::ReadFromBlob(const unsigned char* blob, std::uint32_t size)
{
    if (!entries_.empty())
        return Malformed(RESULT_FAILED, __LINE__);

    const unsigned char* p = blob;
    const unsigned char* const end = blob == nullptr ? blob : blob + size;
    auto left = [&]() { return static_cast<std::size_t>(end - p); };

    while (left() > 0) {
        switch (*p++) {
        case kVersionTag:
            if (left() < 4)
                return Malformed(RESULT_FAILED, __LINE__);
            version_ = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            break;
        case kWindowTag:
            if (left() < 4)
                return Malformed(RESULT_FAILED, __LINE__);
            windowSize_ = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            break;
        case kFileSizeTag:
            if (left() < 8)
                return Malformed(RESULT_FAILED, __LINE__);
            fileSize_ = GetLittleEndian<std::uint64_t>(p);
            p += 8;
            break;
        case kCopyTag: {
            if (left() < 4)
                return Malformed(RESULT_FAILED, __LINE__);
            const auto blockIndex = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            // Through the interface, so that a store derived from this one sees every instruction.
            const int result = WriteDelta(blockIndex);
            if (result != RESULT_OK)
                return Malformed(result, __LINE__);
            break;
        }
        case kLiteralTag: {
            if (left() < 4)
                return Malformed(RESULT_FAILED, __LINE__);
            const auto length = GetLittleEndian<std::uint32_t>(p);
            p += 4;
            if (left() < length)
                return Malformed(RESULT_FAILED, __LINE__);
            const int result = WriteDelta(p, length);
            if (result != RESULT_OK)
                return Malformed(result, __LINE__);
            p += length;
            break;
        }
        case kTimeTag:
            if (left() < 8)
                return Malformed(RESULT_FAILED, __LINE__);
            modifiedTime_ = GetLittleEndian<std::int64_t>(p);
            p += 8;
            break;
        case kSha1Tag:
            if (left() < 20)
                return Malformed(RESULT_FAILED, __LINE__);
            std::memcpy(fileDigest_.bytes, p, sizeof fileDigest_.bytes);
            p += 20;
            break;
        default:
            return Malformed(RESULT_FAILED, __LINE__);
        }
    }
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
