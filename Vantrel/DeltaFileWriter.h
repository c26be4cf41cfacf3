// A delta written to a file or a stream as delta generation hands it over, in the delta
// blob's format: its bytes are exactly what MemoryDeltaIO::WriteToBlob gives for the same
// delta, whatever the size, since the format needs no length up front. It holds the five
// properties, the counts and one buffer, never the instructions.
//
// The version, window size and file size open the delta: they go out with the first
// instruction (or at Finish), and writing one of them later is refused, since the bytes
// are gone. The time and SHA-1 value close it and go out at Finish, which also flushes the
// buffer and closes a file the writer created. A failed write is reported with the code of
// its errno, as rebuilding reports it, and every write after it is refused; a failure
// leaves the output holding a beginning of the delta, which no reader takes for a whole one.
// Writes after Finish are refused. ReadDelta is refused; the property reads return what was
// written. Not copyable; one thread at a time.
#ifndef VANTREL_DELTAFILEWRITER_H
#define VANTREL_DELTAFILEWRITER_H

#include <cstdint>
#include <memory>
#include <string>

#include <Vantrel/DeltaTally.h>
#include <Vantrel/IDeltaIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API DeltaFileWriter : public IDeltaIO {
public:
    DeltaFileWriter();
    // Closes a file it created and has not closed yet; the file stays.
    ~DeltaFileWriter() override;
    DeltaFileWriter(const DeltaFileWriter&) = delete;
    DeltaFileWriter& operator=(const DeltaFileWriter&) = delete;

    // Creates the file at `path`, or empties an existing one. RESULT_OK, or RESULT_FAILED
    // with a log line naming the path. Once per writer.
    int Create(const std::wstring& path);
    // Writes to `descriptor` from where it stands; the descriptor stays the caller's.
    int Attach(int descriptor);
    // Whether a write call failed, so that the output holds only a beginning of the delta.
    bool Failed() const;
    // The instructions written so far, and the delta's size so far.
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
    int ReadFileDigest(_sha1_hash& digest) override;
    int ReadFileModifiedTime(std::int64_t& modifiedTime) override;
    int ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
