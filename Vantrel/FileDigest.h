// The signature of an old file as the engine sees it: a thin facade over a store the client
// owns. Every call goes to the store unchanged, except the two that carry the SHA-1 value as
// a digest object. Copies share the store; destroying a facade leaves the store alone.
#ifndef VANTREL_FILEDIGEST_H
#define VANTREL_FILEDIGEST_H

#include <cstdint>

#include <Vantrel/DigestEntry.h>
#include <Vantrel/HashValues.h>
#include <Vantrel/IDigestIO.h>
#include <Vantrel/KorrinExport.h>
#include <Vantrel/SHA1Digest.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API FileDigest {
public:
    // `store` must outlive the facade; it is not owned and not tested for null.
    FileDigest(IDigestIO* store);
    FileDigest(const FileDigest& other) = default;
    FileDigest& operator=(const FileDigest& other) = default;
    ~FileDigest() = default;

    void SetDigestIO(IDigestIO* store) { store_ = store; }
    IDigestIO* GetDigestIO() const { return store_; }

    int SetVersion(std::uint32_t version);
    int GetVersion(std::uint32_t& version) const;
    int SetWindowSize(std::uint32_t windowSize);
    int GetWindowSize(std::uint32_t& windowSize) const;
    int SetFileSize(const std::uint64_t& fileSize);
    int GetFileSize(std::uint64_t& fileSize) const;
    int SetFileModifiedTime(const std::int64_t& modifiedTime);
    int GetFileModifiedTime(std::int64_t& modifiedTime) const;
    // Stores the digest's 20-byte value, finished or not.
    int SetFileDigest(const SHA1Digest& digest);
    // A finished digest holding the stored value; on a failing store the code is logged
    // and returned, and `digest` is left as it was.
    int GetFileDigest(SHA1Digest& digest) const;
    int AddDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5);
    int GetDigest(DigestMap& table) const;
    int Find(const std::uint32_t& checksum, bool& found) const;
    int Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
             std::uint32_t& blockIndex) const;
    std::uint32_t GetSize() const;
    int Finish();

private:
    IDigestIO* store_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
