#include <Vantrel/FileDigest.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"

namespace Halvorn {
namespace Vantrel {

IDigestIO::~IDigestIO() = default;

FileDigest::FileDigest(IDigestIO* store) : store_(store) {}

int FileDigest::SetVersion(std::uint32_t version)
{
    return store_->WriteVersion(version);
}

int FileDigest::GetVersion(std::uint32_t& version) const
{
    return store_->ReadVersion(version);
}

int FileDigest::SetWindowSize(std::uint32_t windowSize)
{
    return store_->WriteWindowSize(windowSize);
}

int FileDigest::GetWindowSize(std::uint32_t& windowSize) const
{
    return store_->ReadWindowSize(windowSize);
}

int FileDigest::SetFileSize(const std::uint64_t& fileSize)
{
    return store_->WriteFileSize(fileSize);
}

int FileDigest::GetFileSize(std::uint64_t& fileSize) const
{
    return store_->ReadFileSize(fileSize);
}

int FileDigest::SetFileModifiedTime(const std::int64_t& modifiedTime)
{
    return store_->WriteFileModifiedTime(modifiedTime);
}

int FileDigest::GetFileModifiedTime(std::int64_t& modifiedTime) const
{
    return store_->ReadFileModifiedTime(modifiedTime);
}

int FileDigest::SetFileDigest(const SHA1Digest& digest)
{
    _sha1_hash value;
    digest.GetDigest(value);
    return store_->WriteFileDigest(value);
}

int FileDigest::GetFileDigest(SHA1Digest& digest) const
{
    _sha1_hash value;
    const int result = store_->ReadFileDigest(value);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, "Halvorn::Vantrel::FileDigest::GetFileDigest", __LINE__);
    digest = SHA1Digest(value);
    return RESULT_OK;
}

int FileDigest::AddDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5)
{
    return store_->WriteDigest(blockIndex, checksum, md5);
}

int FileDigest::GetDigest(DigestMap& table) const
{
    return store_->ReadDigest(table);
}

int FileDigest::Find(const std::uint32_t& checksum, bool& found) const
{
    return store_->Find(checksum, found);
}

int FileDigest::Find(const std::uint32_t& checksum, const _md5_hash& md5, bool& found,
                     std::uint32_t& blockIndex) const
{
    return store_->Find(checksum, md5, found, blockIndex);
}

std::uint32_t FileDigest::GetSize() const
{
    return store_->GetDigestSize();
}

int FileDigest::Finish()
{
    return store_->Finish();
}

} // namespace Vantrel
} // namespace Halvorn
