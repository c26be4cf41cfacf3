// A whole signature in memory: the five file properties and the block table, grouped by
// checksum and MD5 value. It also turns a signature into a byte blob and back.
//
// Made empty; properties read as zero until written. Copies are deep. Nothing removes a
// block. Both lookups take constant time whatever the size of the table. Memory: about 24
// bytes a block, and about 13 more from the first lookup on, which a store that is only
// written (on the side that makes signatures) never pays. Once the store is filled, any
// number of threads may look up in it at once; writing is for one thread with no lookup
// under way.
#ifndef VANTREL_MEMORYDIGESTIO_H
#define VANTREL_MEMORYDIGESTIO_H

#include <cstdint>
#include <memory>

#include <Vantrel/IDigestIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class BlockTable;
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
    friend class ChecksumProbe; // the delta generator's shortcut to the lookups

    std::unique_ptr<BlockTable> table_;
    std::uint32_t version_;
    std::uint64_t fileSize_;
    std::int64_t modifiedTime_;
    _sha1_hash fileDigest_;
    std::uint32_t windowSize_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
