#include <Vantrel/MemoryDeltaIO.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/delta/DeltaRecords.h"
#include "Vantrel/engine/ReportError.h"

namespace Halvorn {
namespace Vantrel {

MemoryDeltaIO::MemoryDeltaIO()
    : position_(entries_.end()), version_(0), fileSize_(0), modifiedTime_(0), fileDigest_(), windowSize_(0)
{
}

// A copy shares the instructions but starts without a reading: a position in another list
// would mean nothing here.
MemoryDeltaIO::MemoryDeltaIO(const MemoryDeltaIO& other)
    : IDeltaIO(other), entries_(other.entries_), position_(entries_.end()), version_(other.version_),
      fileSize_(other.fileSize_), modifiedTime_(other.modifiedTime_), fileDigest_(other.fileDigest_),
      windowSize_(other.windowSize_)
{
}

MemoryDeltaIO& MemoryDeltaIO::operator=(const MemoryDeltaIO& other)
{
    if (this != &other) {
        Entries copy(other.entries_); // before anything changes: running out of memory leaves us as we were
        entries_.swap(copy);
        position_ = entries_.end();
    }
    version_ = other.version_;
    fileSize_ = other.fileSize_;
    modifiedTime_ = other.modifiedTime_;
    fileDigest_ = other.fileDigest_;
    windowSize_ = other.windowSize_;
    return *this;
}

MemoryDeltaIO::~MemoryDeltaIO() = default;

std::uint32_t MemoryDeltaIO::GetDeltaCount() const
{
    return static_cast<std::uint32_t>(entries_.size());
}

std::uint32_t MemoryDeltaIO::GetDigestDeltaCount() const
{
    std::uint32_t count = 0;
    for (const auto& entry : entries_)
        count += entry->type == DigestDelta;
    return count;
}

std::uint32_t MemoryDeltaIO::GetBufferDeltaCount() const
{
    std::uint32_t count = 0;
    for (const auto& entry : entries_)
        count += entry->type == BufferDelta;
    return count;
}

std::uint32_t MemoryDeltaIO::GetBufferDeltaSize() const
{
    std::uint32_t bytes = 0;
    for (const auto& entry : entries_)
        if (entry->type == BufferDelta)
            bytes += static_cast<const BufferDeltaEntry&>(*entry).length;
    return bytes;
}

std::uint32_t MemoryDeltaIO::GetDeltaSize() const
{
    // Wraps like the other 32-bit counts for deltas past 4 GiB; WriteToBlob refuses those.
    return static_cast<std::uint32_t>(BlobSize());
}

std::uint64_t MemoryDeltaIO::BlobSize() const
{
    std::uint64_t bytes = kFixedDeltaBytes;
    for (const auto& entry : entries_) {
        bytes += kInstructionRecordBytes;
        if (entry->type != DigestDelta)
            bytes += static_cast<const BufferDeltaEntry&>(*entry).length;
    }
    return bytes;
}

int MemoryDeltaIO::WriteVersion(std::uint32_t version)
{
    version_ = version;
    return RESULT_OK;
}

int MemoryDeltaIO::WriteWindowSize(std::uint32_t windowSize)
{
    windowSize_ = windowSize;
    return RESULT_OK;
}

int MemoryDeltaIO::WriteFileSize(std::uint64_t fileSize)
{
    fileSize_ = fileSize;
    return RESULT_OK;
}

int MemoryDeltaIO::WriteFileDigest(const _sha1_hash& digest)
{
    fileDigest_ = digest;
    return RESULT_OK;
}

int MemoryDeltaIO::WriteFileModifiedTime(const std::int64_t& modifiedTime)
{
    modifiedTime_ = modifiedTime;
    return RESULT_OK;
}

int MemoryDeltaIO::WriteDelta(const unsigned char* data, std::uint32_t length)
{
    // Made as its own class, so that the last owner deletes it as one and frees the bytes.
    boost::shared_ptr<BufferDeltaEntry> entry(new BufferDeltaEntry(data, length));
    entries_.push_back(entry);
    return RESULT_OK;
}

int MemoryDeltaIO::WriteDelta(std::uint32_t blockIndex)
{
    boost::shared_ptr<DigestDeltaEntry> entry(new DigestDeltaEntry(blockIndex));
    entries_.push_back(entry);
    return RESULT_OK;
}

int MemoryDeltaIO::Finish()
{
    return RESULT_OK;
}

int MemoryDeltaIO::ReadVersion(std::uint32_t& version)
{
    version = version_;
    return RESULT_OK;
}

int MemoryDeltaIO::ReadWindowSize(std::uint32_t& windowSize)
{
    windowSize = windowSize_;
    return RESULT_OK;
}

int MemoryDeltaIO::ReadFileSize(std::uint64_t& fileSize)
{
    fileSize = fileSize_;
    return RESULT_OK;
}

int MemoryDeltaIO::ReadFileDigest(_sha1_hash& digest)
{
    digest = fileDigest_;
    return RESULT_OK;
}

int MemoryDeltaIO::ReadFileModifiedTime(std::int64_t& modifiedTime)
{
    modifiedTime = modifiedTime_;
    return RESULT_OK;
}

int MemoryDeltaIO::ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry)
{
    // The cursor only tells a new reading from one under way: every cursor of this store
    // stands for its single position, so its value is never followed.
    if (*cursor == nullptr) {
        position_ = entries_.begin();
        *cursor = &position_;
    }
    if (position_ == entries_.end())
        return ReportError(RESULT_FAILED, nullptr, "Halvorn::Vantrel::MemoryDeltaIO::ReadDelta", __LINE__);
    entry = *position_;
    ++position_;
    return RESULT_OK;
}

} // namespace Vantrel
} // namespace Halvorn
