#include <Vantrel/FileDelta.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"

namespace Halvorn {
namespace Vantrel {

IDeltaIO::~IDeltaIO() = default;

FileDelta::FileDelta(IDeltaIO* store) : store_(store) {}

int FileDelta::SetVersion(std::uint32_t version)
{
    return store_->WriteVersion(version);
}

int FileDelta::GetVersion(std::uint32_t& version) const
{
    return store_->ReadVersion(version);
}

int FileDelta::SetWindowSize(std::uint32_t windowSize)
{
    return store_->WriteWindowSize(windowSize);
}

int FileDelta::GetWindowSize(std::uint32_t& windowSize) const
{
    return store_->ReadWindowSize(windowSize);
}

int FileDelta::SetFileSize(std::uint64_t fileSize)
{
    return store_->WriteFileSize(fileSize);
}

int FileDelta::GetFileSize(std::uint64_t& fileSize) const
{
    return store_->ReadFileSize(fileSize);
}

int FileDelta::SetFileModifiedTime(const std::int64_t& modifiedTime)
{
    return store_->WriteFileModifiedTime(modifiedTime);
}

int FileDelta::GetFileModifiedTime(std::int64_t& modifiedTime) const
{
    return store_->ReadFileModifiedTime(modifiedTime);
}

int FileDelta::SetFileDigest(const SHA1Digest& digest)
{
    _sha1_hash value;
    digest.GetDigest(value);
    return store_->WriteFileDigest(value);
}

int FileDelta::GetFileDigest(SHA1Digest& digest) const
{
    _sha1_hash value;
    const int result = store_->ReadFileDigest(value);
    if (result != RESULT_OK)
        return ReportError(result, nullptr, "Halvorn::Vantrel::FileDelta::GetFileDigest", __LINE__);
    digest = SHA1Digest(value);
    return RESULT_OK;
}

int FileDelta::AddDelta(std::uint32_t blockIndex)
{
    return store_->WriteDelta(blockIndex);
}

int FileDelta::AddDelta(const unsigned char* data, std::uint32_t length)
{
    return store_->WriteDelta(data, length);
}

std::uint32_t FileDelta::GetDeltaCount() const
{
    return store_->GetDeltaCount();
}

std::uint32_t FileDelta::GetDigestDeltaCount() const
{
    return store_->GetDigestDeltaCount();
}

std::uint32_t FileDelta::GetBufferDeltaCount() const
{
    return store_->GetBufferDeltaCount();
}

std::uint32_t FileDelta::GetBufferDeltaSize() const
{
    return store_->GetBufferDeltaSize();
}

std::uint32_t FileDelta::GetSize() const
{
    return store_->GetDeltaSize();
}

int FileDelta::Finish()
{
    return store_->Finish();
}

} // namespace Vantrel
} // namespace Halvorn
