// The library's in-memory stores, counting into a progress meter the bytes of the file that
// the engine has covered as it writes or reads through them: a block's worth per signature
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

class CountingDeltaIO : public Vantrel::MemoryDeltaIO {
public:
    // Counts instructions as they are appended (making a delta), or as they are read back
    // (rebuilding); a copy counts `blockSize` bytes. Reading a blob appends through the
    // same calls, so a store is read from its blob before it counts.
    void CountWrites(Meter* meter, std::uint32_t blockSize);
    void CountReads(Meter* meter, std::uint32_t blockSize);

    int WriteDelta(const unsigned char* data, std::uint32_t length) override;
    int WriteDelta(std::uint32_t blockIndex) override;
    int ReadDelta(void** cursor, boost::shared_ptr<Vantrel::DeltaEntry>& entry) override;

private:
    Meter* writes_ = nullptr;
    Meter* reads_ = nullptr;
    std::uint32_t blockSize_ = 0;
};

} // namespace Tool
} // namespace Halvorn

#endif
