// A whole signature in memory: the five file properties and the block table, grouped by
// checksum and MD5 value. It also turns a signature into a byte blob and back.
//
// Made empty; properties read as zero until written. Copies are deep. Nothing removes a
// block. Both lookups cost constant time whatever the size of the table: beside the ordered
// table, a filter rules out most checksums no block has, and an index by checksum answers
// the rest without walking the table. The two are made by the first lookup, not while the
// signature is written: the side that makes a signature never looks anything up, and they
// would add about a fifth to its memory. Once made they follow every block written. Should
// there be no memory for them, lookups walk the table instead, with the same answers, and
// try to make them again later. One thread at a time, lookups included: they fill a cache.
#ifndef VANTREL_MEMORYDIGESTIO_H
#define VANTREL_MEMORYDIGESTIO_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include <Vantrel/IDigestIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class ChecksumFilter;
class ChecksumIndex;
class ChecksumProbe;

class KORRIN_API MemoryDigestIO : public IDigestIO {
public:
    MemoryDigestIO();
    MemoryDigestIO(const MemoryDigestIO& other);
    MemoryDigestIO& operator=(const MemoryDigestIO& other);
    ~MemoryDigestIO() override;

    int ReadVersion(std::uint32_t& version) override;
    int ReadWindowSize(std::uint32_t& windowSize) override;
    int ReadFileSize(std::uint64_t& fileSize) override;
    int ReadFileDigest(_sha1_hash& digest) override;
    int ReadFileModifiedTime(std::int64_t& modifiedTime) override;
    int ReadDigest(DigestMap& table) override;
    int WriteVersion(std::uint32_t version) override;
    int WriteWindowSize(std::uint32_t windowSize) override;
    int WriteFileSize(std::uint64_t fileSize) override;
    int WriteFileDigest(const _sha1_hash& digest) override;
    int WriteFileModifiedTime(const std::int64_t& modifiedTime) override;
    int WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5) override;
    int Finish() override;
    int Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
             std::uint32_t& blockIndex) const override;
    int Find(const std::uint32_t& checksum, bool& found) const override;
    std::uint32_t GetDigestSize() const override;

    // A new blob of the present content, malloc'd, the caller's to free. When it cannot be
    // made (no memory, or more than 4 GiB), *blob is null and *size 0.
    void WriteToBlob(unsigned char** blob, std::uint32_t* size);
    // Fills a store whose block table is empty from `size` bytes at `blob`: RESULT_OK, or
    // RESULT_FAILED with a log line for a malformed blob (what was read before stays).
    int ReadFromBlob(const unsigned char* blob, std::uint32_t size);

private:
    friend class ChecksumProbe; // the delta generator's shortcut to the index

    std::uint64_t BlobSize() const;
    // Whether the filter and index are there, making them if they are not and this is the
    // time to try; never throws. Lookups without them walk the table.
    bool Lookups() const noexcept;
    // Makes the filter and index of the whole table now; false, with nothing changed, when
    // there is no memory for them.
    bool MakeLookups() const noexcept;

    DigestMap table_;
    std::uint32_t version_;
    std::uint64_t fileSize_;
    std::int64_t modifiedTime_;
    _sha1_hash fileDigest_;
    std::uint32_t windowSize_;
    // Both or neither: made by the first lookup, then kept up to date by WriteDigest.
    mutable std::unique_ptr<ChecksumFilter> filter_; // the checksums of table_
    mutable std::unique_ptr<ChecksumIndex> index_;   // every checksum of table_, with its groups
    // After a failure to make them, lookups that walk the table before the next attempt: as
    // many as the table has checksums, so that failing attempts at most double their cost.
    mutable std::size_t retryIn_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
