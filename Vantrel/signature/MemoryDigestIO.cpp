#include <Vantrel/MemoryDigestIO.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/signature/ChecksumFilter.h"
#include "Vantrel/signature/ChecksumIndex.h"

namespace Halvorn {
namespace Vantrel {

namespace {

// The fixed records of a signature blob, and one record per group.
constexpr std::uint64_t kFixedBlobBytes = 49;
constexpr std::uint64_t kGroupBlobBytes = 25;

const DigestEntry* GroupWith(const std::vector<DigestEntry>& groups, const _md5_hash& md5)
{
    for (const DigestEntry& group : groups)
        if (group.md5 == md5)
            return &group;
    return nullptr;
}

// An index of `table`, which must outlive it.
std::unique_ptr<ChecksumIndex> IndexOf(const DigestMap& table)
{
    std::unique_ptr<ChecksumIndex> index(new ChecksumIndex);
    index->Reserve(table.size());
    for (const auto& entry : table)
        index->Insert(entry.first, &entry.second);
    return index;
}

} // namespace

MemoryDigestIO::MemoryDigestIO()
    : version_(0), fileSize_(0), modifiedTime_(0), fileDigest_(), windowSize_(0), filter_(new ChecksumFilter),
      index_(new ChecksumIndex)
{
}

MemoryDigestIO::MemoryDigestIO(const MemoryDigestIO& other)
    : IDigestIO(other), table_(other.table_), version_(other.version_), fileSize_(other.fileSize_),
      modifiedTime_(other.modifiedTime_), fileDigest_(other.fileDigest_), windowSize_(other.windowSize_),
      filter_(new ChecksumFilter(*other.filter_)), index_(IndexOf(table_))
{
}

MemoryDigestIO& MemoryDigestIO::operator=(const MemoryDigestIO& other)
{
    if (this != &other) {
        // Both copies are made before anything changes, so running out of memory leaves
        // this store as it was.
        DigestMap table(other.table_);
        std::unique_ptr<ChecksumFilter> filter(new ChecksumFilter(*other.filter_));
        std::unique_ptr<ChecksumIndex> index(IndexOf(table)); // swapping keeps the nodes it points to
        table_.swap(table);
        filter_.swap(filter);
        index_.swap(index);
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
    // Copy first, so that running out of memory leaves the caller's map as it was.
    DigestMap copy(table_);
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
    const auto place = table_.lower_bound(checksum);
    if (place != table_.end() && place->first == checksum) {
        std::vector<DigestEntry>& groups = place->second;
        for (DigestEntry& group : groups) {
            if (group.md5 == md5) {
                group.blockIndices.push_back(blockIndex);
                return RESULT_OK;
            }
        }
        groups.push_back(DigestEntry{{blockIndex}, md5});
        return RESULT_OK;
    }

    // A new checksum. What can run out of memory happens before the table changes, so that
    // a failure records nothing (room reserved in vain does no harm).
    std::vector<DigestEntry> groups;
    groups.push_back(DigestEntry{{blockIndex}, md5});
    index_->Reserve(table_.size() + 1);
    if (filter_->Full()) {
        ChecksumFilter larger;
        larger.Reset((table_.size() + 1) * 2);
        for (const auto& entry : table_)
            larger.Add(entry.first);
        *filter_ = std::move(larger);
    }
    const auto added = table_.emplace_hint(place, checksum, std::move(groups));
    index_->Insert(checksum, &added->second);
    filter_->Add(checksum);
    return RESULT_OK;
}

int MemoryDigestIO::Finish()
{
    return RESULT_OK;
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
                         std::uint32_t& blockIndex) const
{
    const std::vector<DigestEntry>* groups = index_->Find(checksum);
    const DigestEntry* group = groups == nullptr ? nullptr : GroupWith(*groups, md5);
    found = group != nullptr;
    if (found)
        blockIndex = group->blockIndices.front();
    return RESULT_OK;
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, bool& found) const
{
    found = filter_->MayContain(checksum) && index_->Find(checksum) != nullptr;
    return RESULT_OK;
}

std::uint64_t MemoryDigestIO::BlobSize() const
{
    std::uint64_t groups = 0;
    for (const auto& entry : table_)
        groups += entry.second.size();
    return kFixedBlobBytes + kGroupBlobBytes * groups;
}

std::uint32_t MemoryDigestIO::GetDigestSize() const
{
    // Wraps like any 32-bit count past 171,798,689 groups; WriteToBlob refuses such tables.
    return static_cast<std::uint32_t>(BlobSize());
}

} // namespace Vantrel
} // namespace Halvorn
