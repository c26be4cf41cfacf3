// Where a delta lives: the five properties of the new file and its instructions in order.
// The delta generators append through it; rebuilding reads the instructions back.
//
// What every store guarantees: both WriteDelta forms append at the end; ReadDelta hands the
// instructions out in that order to a reader that starts with a null cursor and passes its
// address on every call, answering RESULT_FAILED (and leaving `entry` alone) once none is
// left; property reads return what the last write stored. The client owns the store.
#ifndef VANTREL_IDELTAIO_H
#define VANTREL_IDELTAIO_H

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include <Vantrel/DeltaEntry.h>
#include <Vantrel/HashValues.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API IDeltaIO {
public:
    IDeltaIO() = default;
    IDeltaIO(const IDeltaIO&) = default;
    IDeltaIO& operator=(const IDeltaIO&) = default;
    virtual ~IDeltaIO();

    virtual std::uint32_t GetDeltaCount() const = 0;
    virtual std::uint32_t GetDigestDeltaCount() const = 0;
    virtual std::uint32_t GetBufferDeltaCount() const = 0;
    // The literal bytes of all literal instructions.
    virtual std::uint32_t GetBufferDeltaSize() const = 0;
    // The size in bytes of the delta's blob.
    virtual std::uint32_t GetDeltaSize() const = 0;
    virtual int WriteVersion(std::uint32_t version) = 0;
    virtual int WriteWindowSize(std::uint32_t windowSize) = 0;
    virtual int WriteFileSize(std::uint64_t fileSize) = 0;
    virtual int WriteFileDigest(const _sha1_hash& digest) = 0;
    virtual int WriteFileModifiedTime(const std::int64_t& modifiedTime) = 0;
    // Appends a literal instruction holding a copy of the bytes.
    virtual int WriteDelta(const unsigned char* data, std::uint32_t length) = 0;
    // Appends a copy instruction.
    virtual int WriteDelta(std::uint32_t blockIndex) = 0;
    // The writer has stored everything.
    virtual int Finish() = 0;
    virtual int ReadVersion(std::uint32_t& version) = 0;
    virtual int ReadWindowSize(std::uint32_t& windowSize) = 0;
    virtual int ReadFileSize(std::uint64_t& fileSize) = 0;
    virtual int ReadFileDigest(_sha1_hash& digest) = 0;
    virtual int ReadFileModifiedTime(std::int64_t& modifiedTime) = 0;
    virtual int ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry) = 0;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
