// A delta as the engine sees it: a thin facade over a store the client owns. Every call goes
// to the store unchanged, except the two that carry the SHA-1 value as a digest object.
// Copies share the store; destroying a facade leaves the store alone.
#ifndef VANTREL_FILEDELTA_H
#define VANTREL_FILEDELTA_H

#include <cstdint>
#include <string>

#include <Vantrel/IDeltaIO.h>
#include <Vantrel/KorrinExport.h>
#include <Vantrel/SHA1Digest.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API FileDelta {
public:
    // `store` must outlive the facade; it is not owned and not tested for null.
    FileDelta(IDeltaIO* store);
    FileDelta(const FileDelta& other) = default;
    FileDelta& operator=(const FileDelta& other) = default;
    ~FileDelta() = default;

    int SetVersion(std::uint32_t version);
    int GetVersion(std::uint32_t& version) const;
    int SetWindowSize(std::uint32_t windowSize);
    int GetWindowSize(std::uint32_t& windowSize) const;
    int SetFileSize(std::uint64_t fileSize);
    int GetFileSize(std::uint64_t& fileSize) const;
    int SetFileModifiedTime(const std::int64_t& modifiedTime);
    int GetFileModifiedTime(std::int64_t& modifiedTime) const;
    // Stores the digest's 20-byte value, finished or not.
    int SetFileDigest(const SHA1Digest& digest);
    // A finished digest holding the stored value; on a failing store the code is logged
    // and returned, and `digest` is left as it was.
    int GetFileDigest(SHA1Digest& digest) const;
    // Appends a copy of block `blockIndex`.
    int AddDelta(std::uint32_t blockIndex);
    // Appends a literal of `length` bytes, copied by the store.
    int AddDelta(const unsigned char* data, std::uint32_t length);
    std::uint32_t GetDeltaCount() const;
    std::uint32_t GetDigestDeltaCount() const;
    std::uint32_t GetBufferDeltaCount() const;
    std::uint32_t GetBufferDeltaSize() const;
    std::uint32_t GetSize() const;
    int Finish();

    // Rebuilds the new file at `newPath` from the old file at `oldPath` and the instructions,
    // and proves it by the SHA-1 value of every byte written. An existing file at `newPath` is
    // truncated first; on failure it holds what was written before the failure. Both files
    // are closed on every way out. RESULT_OK, or the failure's code (a failed write gives the
    // code of its errno: RESULT_WRITE_EBADF, RESULT_WRITE_EINVAL or RESULT_WRITE_ENOSPC).
    // A delta is read from its store's single reading position: one rebuild at a time.
    int GenerateFile(const std::wstring& oldPath, const std::wstring& newPath) const;

private:
    IDeltaIO* store_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
