// A whole delta in memory: the five properties of the new file and the instructions in the
// order they were appended. It also turns a delta into a byte blob and back.
//
// Made empty; properties read as zero until written. Copies share the instruction objects
// (no literal byte is copied) but not the reading position: a store has exactly one, which
// every reader of it shares, and a copy starts with none. One thread, and one reading, at a time.
#ifndef VANTREL_MEMORYDELTAIO_H
#define VANTREL_MEMORYDELTAIO_H

#include <cstdint>
#include <list>

#include <Vantrel/IDeltaIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API MemoryDeltaIO : public IDeltaIO {
public:
    MemoryDeltaIO();
    MemoryDeltaIO(const MemoryDeltaIO& other);
    MemoryDeltaIO& operator=(const MemoryDeltaIO& other);
    ~MemoryDeltaIO() override;

    std::uint32_t GetDeltaCount() const override;
    std::uint32_t GetDigestDeltaCount() const override;
    std::uint32_t GetBufferDeltaCount() const override;
    std::uint32_t GetBufferDeltaSize() const override;
    std::uint32_t GetDeltaSize() const override;
    int WriteVersion(std::uint32_t version) override;
    int WriteWindowSize(std::uint32_t windowSize) override;
    int WriteFileSize(std::uint64_t fileSize) override;
    int WriteFileDigest(const _sha1_hash& digest) override;
    int WriteFileModifiedTime(const std::int64_t& modifiedTime) override;
    int WriteDelta(const unsigned char* data, std::uint32_t length) override;
    int WriteDelta(std::uint32_t blockIndex) override;
    int Finish() override;
    int ReadVersion(std::uint32_t& version) override;
    int ReadWindowSize(std::uint32_t& windowSize) override;
    int ReadFileSize(std::uint64_t& fileSize) override;
    int ReadFileDigest(_sha1_hash& digest) override;
    int ReadFileModifiedTime(std::int64_t& modifiedTime) override;
    // A null *cursor starts a reading at the first instruction; at the end RESULT_FAILED,
    // with a log line, on every call until a new reading starts.
    int ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry) override;

    // A new blob of the present content, malloc'd, the caller's to free. When it cannot be
    // made (no memory, or more than 4 GiB), *blob is null and *size 0.
    void WriteToBlob(unsigned char** blob, std::uint32_t* size);
    // Fills a store without instructions from `size` bytes at `blob`: RESULT_OK, or the
    // failure's code with a log line for a malformed blob (what was read before stays).
    int ReadFromBlob(const unsigned char* blob, std::uint32_t size);

private:
    using Entries = std::list<boost::shared_ptr<DeltaEntry>>;

    std::uint64_t BlobSize() const;

    Entries entries_;
    Entries::iterator position_; // the one reading position; end() when no reading is under way
    std::uint32_t version_;
    std::uint64_t fileSize_;
    std::int64_t modifiedTime_;
    _sha1_hash fileDigest_;
    std::uint32_t windowSize_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
