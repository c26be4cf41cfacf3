// Where a signature lives: the five properties of the old file and its block table.
// Signature generation writes through it, delta generation reads and looks blocks up.
//
// What every store guarantees: WriteDigest keeps every block; Find by checksum answers
// whether any block has that checksum (asked at every byte position of a new file, so it
// must be fast); Find by checksum and MD5 gives the earliest recorded block with both and
// leaves the index alone when there is none; both Finds return 0 once they have answered;
// property reads return what the last write stored. The client owns the store.
#ifndef VANTREL_IDIGESTIO_H
#define VANTREL_IDIGESTIO_H

#include <cstdint>

#include <Vantrel/DigestEntry.h>
#include <Vantrel/HashValues.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API IDigestIO {
public:
    IDigestIO() = default;
    IDigestIO(const IDigestIO&) = default;
    IDigestIO& operator=(const IDigestIO&) = default;
    virtual ~IDigestIO();

    virtual int ReadVersion(std::uint32_t& version) = 0;
    virtual int ReadWindowSize(std::uint32_t& windowSize) = 0;
    virtual int ReadFileSize(std::uint64_t& fileSize) = 0;
    virtual int ReadFileDigest(_sha1_hash& digest) = 0;
    virtual int ReadFileModifiedTime(std::int64_t& modifiedTime) = 0;
    // Replaces the content of `table` with a copy of the store's block table.
    virtual int ReadDigest(DigestMap& table) = 0;
    virtual int WriteVersion(std::uint32_t version) = 0;
    virtual int WriteWindowSize(std::uint32_t windowSize) = 0;
    virtual int WriteFileSize(std::uint64_t fileSize) = 0;
    virtual int WriteFileDigest(const _sha1_hash& digest) = 0;
    virtual int WriteFileModifiedTime(const std::int64_t& modifiedTime) = 0;
    virtual int WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum,
                            const _md5_hash& md5) = 0;
    // The writer has stored everything.
    virtual int Finish() = 0;
    virtual int Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
                     std::uint32_t& blockIndex) const = 0;
    virtual int Find(const std::uint32_t& checksum, bool& found) const = 0;
    // The size in bytes of the signature's blob.
    virtual std::uint32_t GetDigestSize() const = 0;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
