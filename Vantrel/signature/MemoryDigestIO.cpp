#include <Vantrel/MemoryDigestIO.h>

#include <Vantrel/ResultCodes.h>

#include <new>

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

// Lookups walk the table at least this many times between failed attempts to make the
// filter and index, however small the table.
constexpr std::size_t kLeastRetryInterval = 1024;

} // namespace

MemoryDigestIO::MemoryDigestIO()
    : version_(0), fileSize_(0), modifiedTime_(0), fileDigest_(), windowSize_(0), retryIn_(0)
{
}

// The filter and index are made again for the copy's own table, and only if the source had
// them; without memory for them the copy goes on as a store whose attempt failed.
MemoryDigestIO::MemoryDigestIO(const MemoryDigestIO& other)
    : IDigestIO(other), table_(other.table_), version_(other.version_), fileSize_(other.fileSize_),
      modifiedTime_(other.modifiedTime_), fileDigest_(other.fileDigest_), windowSize_(other.windowSize_),
      retryIn_(0)
{
    if (other.index_)
        MakeLookups();
}

MemoryDigestIO& MemoryDigestIO::operator=(const MemoryDigestIO& other)
{
    if (this != &other) {
        // The table is copied before anything changes, so running out of memory leaves this
        // store as it was. The old filter and index point into the old table: they go with it.
        DigestMap table(other.table_);
        filter_.reset();
        index_.reset();
        retryIn_ = 0;
        table_.swap(table);
        if (other.index_)
            MakeLookups();
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
    if (!index_) {
        // Nothing has looked anything up yet: the first lookup indexes the whole table.
        table_.emplace_hint(place, checksum, std::move(groups));
        return RESULT_OK;
    }
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

bool MemoryDigestIO::MakeLookups() const noexcept
{
    try {
        // Everything is allocated first, so that a failure costs no pass over the table.
        std::unique_ptr<ChecksumFilter> filter(new ChecksumFilter);
        filter->Reset(table_.size());
        std::unique_ptr<ChecksumIndex> index(new ChecksumIndex);
        index->Reserve(table_.size());
        for (const auto& entry : table_) {
            filter->Add(entry.first);
            index->Insert(entry.first, &entry.second);
        }
        filter_ = std::move(filter);
        index_ = std::move(index);
        return true;
    } catch (const std::bad_alloc&) {
        retryIn_ = table_.size() > kLeastRetryInterval ? table_.size() : kLeastRetryInterval;
        return false;
    }
}

inline bool MemoryDigestIO::Lookups() const noexcept
{
    if (index_)
        return true;
    if (retryIn_ > 0) {
        --retryIn_;
        return false;
    }
    return MakeLookups();
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
                         std::uint32_t& blockIndex) const
{
    const std::vector<DigestEntry>* groups = nullptr;
    if (Lookups()) {
        groups = index_->Find(checksum);
    } else {
        const auto entry = table_.find(checksum);
        if (entry != table_.end())
            groups = &entry->second;
    }
    const DigestEntry* group = groups == nullptr ? nullptr : GroupWith(*groups, md5);
    found = group != nullptr;
    if (found)
        blockIndex = group->blockIndices.front();
    return RESULT_OK;
}

int MemoryDigestIO::Find(const std::uint32_t& checksum, bool& found) const
{
    if (Lookups())
        found = filter_->MayContain(checksum) && index_->Find(checksum) != nullptr;
    else
        found = table_.find(checksum) != table_.end();
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
