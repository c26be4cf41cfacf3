#include <Vantrel/MemoryDigestIO.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/signature/BlockTable.h"
#include "Vantrel/signature/SignatureRecords.h"

namespace Halvorn {
namespace Vantrel {

MemoryDigestIO::MemoryDigestIO()
    : table_(new BlockTable), version_(0), fileSize_(0), modifiedTime_(0), fileDigest_(), windowSize_(0)
{
}

MemoryDigestIO::MemoryDigestIO(const MemoryDigestIO& other)
    : IDigestIO(other), table_(new BlockTable(*other.table_)), version_(other.version_),
      fileSize_(other.fileSize_), modifiedTime_(other.modifiedTime_), fileDigest_(other.fileDigest_),
      windowSize_(other.windowSize_)
{
}

MemoryDigestIO& MemoryDigestIO::operator=(const MemoryDigestIO& other)
{
    if (this != &other) {
        // Copied before anything changes, so that running out of memory leaves this store as it was.
        BlockTable copy(*other.table_);
        table_->Swap(copy);
    }
    version_ = other.version_;
    fileSize_ = other.fileSize_;
    modifiedTime_ = other.modifiedTime_;
    fileDigest_ = other.fileDigest_;
    windowSize_ = other.windowSize_;
    return *this;
}

MemoryDigestIO::~MemoryDigestIO() = default;

int MemoryDigestIO::ReadVersion(std::uint32_t& version)
{
    version = version_;
    return RESULT_OK;
}

int MemoryDigestIO::ReadWindowSize(std::uint32_t& windowSize)
{
    windowSize = windowSize_;
    return RESULT_OK;
}

int MemoryDigestIO::ReadFileSize(std::uint64_t& fileSize)
{
    fileSize = fileSize_;
    return RESULT_OK;
}

int MemoryDigestIO::ReadFileDigest(_sha1_hash& digest)
{
    digest = fileDigest_;
    return RESULT_OK;
}

int MemoryDigestIO::ReadFileModifiedTime(std::int64_t& modifiedTime)
{
    modifiedTime = modifiedTime_;
    return RESULT_OK;
}

int MemoryDigestIO::ReadDigest(DigestMap& table)
{
    // Made apart, so that running out of memory leaves the caller's map as it was.
    DigestMap copy;
    table_->Order().ForEach([&copy](std::uint32_t checksum, const DigestEntry& group) {
        // Groups come by checksum, so a checksum's groups go to the map's last entry.
        auto last = copy.empty() ? copy.end() : std::prev(copy.end());
        if (last == copy.end() || last->first != checksum)
            last = copy.emplace_hint(copy.end(), checksum, std::vector<DigestEntry>());
        last->second.push_back(group);
    });
    table.swap(copy);
    return RESULT_OK;
}

int MemoryDigestIO::WriteVersion(std::uint32_t version)
{
    version_ = version;
    return RESULT_OK;
}

int MemoryDigestIO::WriteWindowSize(std::uint32_t windowSize)
{
    windowSize_ = windowSize;
    return RESULT_OK;
}

int MemoryDigestIO::WriteFileSize(std::uint64_t fileSize)
{
    fileSize_ = fileSize;
    return RESULT_OK;
}

int MemoryDigestIO::WriteFileDigest(const _sha1_hash& digest)
{
    fileDigest_ = digest;
    return RESULT_OK;
}

int MemoryDigestIO::WriteFileModifiedTime(const std::int64_t& modifiedTime)
{
    modifiedTime_ = modifiedTime;
    return RESULT_OK;
}

int MemoryDigestIO::WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5)
{
    table_->Add(blockIndex, checksum, md5);
    return RESULT_OK;
}

int MemoryDigestIO::Finish()
{
    return RESULT_OK;
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
                         std::uint32_t& blockIndex) const
{
    found = table_->Find(checksum, md5, blockIndex);
    return RESULT_OK;
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, bool& found) const
{
    found = table_->Contains(checksum);
    return RESULT_OK;
}

std::uint32_t MemoryDigestIO::GetDigestSize() const
{
    // Wraps like any 32-bit count past 171,798,689 groups; WriteToBlob refuses such tables.
    return static_cast<std::uint32_t>(kFixedSignatureBytes + kGroupRecordBytes * table_->Groups());
}

} // namespace Vantrel
} // namespace Halvorn
