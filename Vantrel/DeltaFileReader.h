// A delta read record by record from a file or a stream, in the delta blob's format, so that
// rebuilding a delta of any size takes a fixed amount of memory. It reads what
// MemoryDeltaIO::ReadFromBlob reads, and refuses what it refuses.
//
// Opening reads the head: the records before the first instruction. A file is then also
// read at its end, where a delta keeps its time and SHA-1 value, so that every property is
// known before the instructions are; a stream (a pipe, or a descriptor given by Attach) is
// read once, front to back, and its SHA-1 value is known only once its instructions have
// been read. A record that sets the version, window size or file size to another value after
// the instructions have begun is refused, since the instructions before it would change
// their meaning.
//
// ReadDelta hands out one instruction at a time; one that the caller still holds is never
// changed, and a reading allocates nothing per instruction. The end of the instructions is
// answered with RESULT_FAILED and no log line. A malformed record or a failed read is
// answered with RESULT_FAILED and a log line naming the byte where it lies, and from then on
// the reader is damaged: every read fails, the SHA-1 value's included, so a rebuild never
// takes a damaged delta for a complete one. The Write operations are refused. The counts
// describe the instructions read so far in the present reading. Not copyable; one thread at
// a time.
#ifndef VANTREL_DELTAFILEREADER_H
#define VANTREL_DELTAFILEREADER_H

#include <cstdint>
#include <memory>
#include <string>

#include <Vantrel/DeltaTally.h>
#include <Vantrel/IDeltaIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API DeltaFileReader : public IDeltaIO {
public:
    DeltaFileReader();
    ~DeltaFileReader() override;
    DeltaFileReader(const DeltaFileReader&) = delete;
    DeltaFileReader& operator=(const DeltaFileReader&) = delete;

    // Opens the file at `path` and reads its head (and its end, where it can seek).
    // RESULT_OK, or RESULT_FAILED with a log line naming the path. Once per reader.
    int Open(const std::wstring& path);
    // Reads from `descriptor`, from where it stands, in one pass; the descriptor stays the
    // caller's and must outlive the reader's use. Otherwise as Open.
    int Attach(int descriptor);
    // Whether a malformed record or a failed read has ended the reading.
    bool Damaged() const;
    // The instructions read so far in the present reading.
    DeltaTally Tally() const;

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
    // Known before the instructions are read only where the reader could look at the end.
    int ReadFileDigest(_sha1_hash& digest) override;
    // Before the instructions of a stream are read, the time its head gives, or 0.
    int ReadFileModifiedTime(std::int64_t& modifiedTime) override;
    // A null *cursor starts a reading at the first instruction; a stream can be read once.
    int ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry) override;

    // Within a reading, takes the copy instructions that come next as long as they copy blocks
    // `next`, `next` + 1 and so on, `most` at most, and returns how many it took: they count
    // as read, as ReadDelta's would, without a call for each. Takes none before a reading has
    // begun or once it has ended.
    virtual std::uint32_t TakeCopyRun(std::uint32_t next, std::uint32_t most);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
