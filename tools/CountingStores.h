// The library's stores, counting into a progress meter the bytes of the file that the
// engine has covered as it writes or reads through them: a block's worth per signature
// block, per copy instruction, a literal's length per literal. Without a meter they are the
// plain stores. Delta generation keeps its fast lookups only with a signature in the plain
// MemoryDigestIO, so the delta command counts on its delta store instead.
#ifndef KORRIN_TOOLS_COUNTINGSTORES_H
#define KORRIN_TOOLS_COUNTINGSTORES_H

#include <cstdint>

#include <Vantrel/Vantrel.h>

#include "Progress.h"

namespace Halvorn {
namespace Tool {

class CountingDigestIO : public Vantrel::MemoryDigestIO {
public:
    // Each block written counts `blockSize` bytes; a null meter counts nothing.
    void CountInto(Meter* meter, std::uint32_t blockSize)
    {
        meter_ = meter;
        blockSize_ = blockSize;
    }

    int WriteDigest(std::uint32_t blockIndex, const std::uint32_t& checksum,
                    const _md5_hash& md5) override;

private:
    Meter* meter_ = nullptr;
    std::uint32_t blockSize_ = 0;
};

// Counts instructions as delta generation appends them.
class CountingDeltaWriter : public Vantrel::DeltaFileWriter {
public:
    void CountInto(Meter* meter, std::uint32_t blockSize)
    {
        meter_ = meter;
        blockSize_ = blockSize;
    }

    int WriteDelta(const unsigned char* data, std::uint32_t length) override;
    int WriteDelta(std::uint32_t blockIndex) override;

private:
    Meter* meter_ = nullptr;
    std::uint32_t blockSize_ = 0;
};

// Counts instructions as rebuilding reads them.
class CountingDeltaReader : public Vantrel::DeltaFileReader {
public:
    void CountInto(Meter* meter, std::uint32_t blockSize)
    {
        meter_ = meter;
        blockSize_ = blockSize;
    }

    int ReadDelta(void** cursor, boost::shared_ptr<Vantrel::DeltaEntry>& entry) override;
    std::uint32_t TakeCopyRun(std::uint32_t next, std::uint32_t most) override;

private:
    Meter* meter_ = nullptr;
    std::uint32_t blockSize_ = 0;
};

} // namespace Tool
} // namespace Halvorn

#endif
