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

void CountingDeltaIO::CountWrites(Meter* meter, std::uint32_t blockSize)
{
    writes_ = meter;
    reads_ = nullptr;
    blockSize_ = blockSize;
}

void CountingDeltaIO::CountReads(Meter* meter, std::uint32_t blockSize)
{
    reads_ = meter;
    writes_ = nullptr;
    blockSize_ = blockSize;
}

int CountingDeltaIO::WriteDelta(const unsigned char* data, std::uint32_t length)
{
    const int result = MemoryDeltaIO::WriteDelta(data, length);
    if (writes_ != nullptr)
        writes_->Add(length);
    return result;
}

int CountingDeltaIO::WriteDelta(std::uint32_t blockIndex)
{
    const int result = MemoryDeltaIO::WriteDelta(blockIndex);
    if (writes_ != nullptr)
        writes_->Add(blockSize_);
    return result;
}

int CountingDeltaIO::ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry)
{
    const int result = MemoryDeltaIO::ReadDelta(cursor, entry);
    if (reads_ != nullptr && result == RESULT_OK)
        reads_->Add(entry->type == DigestDelta ? blockSize_ : entry->size);
    return result;
}

} // namespace Tool
} // namespace Halvorn
