#include "CountingStores.h"

namespace Halvorn {
namespace Tool {

using namespace Vantrel;

int CountingDigestIO::WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum, const _md5_hash& md5)
{
    const int result = MemoryDigestIO::WriteDigest(blockIndex, checksum, md5);
    if (meter_ != nullptr)
        meter_->Add(blockSize_);
    return result;
}

int CountingDeltaWriter::WriteDelta(const unsigned char* data, std::uint32_t length)
{
    const int result = DeltaFileWriter::WriteDelta(data, length);
    if (meter_ != nullptr)
        meter_->Add(length);
    return result;
}

int CountingDeltaWriter::WriteDelta(std::uint32_t blockIndex)
{
    const int result = DeltaFileWriter::WriteDelta(blockIndex);
    if (meter_ != nullptr)
        meter_->Add(blockSize_);
    return result;
}

int CountingDeltaReader::ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry)
{
    const int result = DeltaFileReader::ReadDelta(cursor, entry);
    if (meter_ != nullptr && result == RESULT_OK)
        meter_->Add(entry->type == DigestDelta ? blockSize_ : entry->size);
    return result;
}

std::uint32_t CountingDeltaReader::TakeCopyRun(std::uint32_t next, std::uint32_t most)
{
    const std::uint32_t taken = DeltaFileReader::TakeCopyRun(next, most);
    if (meter_ != nullptr)
        meter_->Add(std::uint64_t{taken} * blockSize_);
    return taken;
}

} // namespace Tool
} // namespace Halvorn
