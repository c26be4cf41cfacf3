#include <Vantrel/DeltaFileWriter.h>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/delta/DeltaRecords.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlobRecords.h"
#include "Vantrel/io/WriteBuffer.h"
#include "Vantrel/io/WriteFailure.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {
constexpr const char* kOpen = "Halvorn::Vantrel::DeltaFileWriter::Create";
constexpr const char* kWrite = "Halvorn::Vantrel::DeltaFileWriter::Write";
constexpr const char* kFinish = "Halvorn::Vantrel::DeltaFileWriter::Finish";
} // namespace

struct DeltaFileWriter::State {
    ~State()
    {
        out.reset();
        if (owned)
            Platform::CurrentRuntime().Close(descriptor);
    }

    int Refuse(const char* function, int line, const wchar_t* what) const
    {
        const std::wstring message = name + L": " + what;
        return ReportError(RESULT_FAILED, message.c_str(), function, line);
    }
    // Whether more may be written: open, not finished, no write failed.
    int Writable(int line) const
    {
        if (failure != RESULT_OK)
            return ReportError(failure, name.c_str(), kWrite, line);
        if (!out)
            return Refuse(kWrite, line, L"no delta is open for writing");
        if (finished)
            return Refuse(kWrite, line, L"the delta is finished");
        return RESULT_OK;
    }
    // The version, window size and file size may change until the head goes out.
    int HeadWritable(int line) const
    {
        const int result = Writable(line);
        if (result == RESULT_OK && headWritten)
            return Refuse(kWrite, line, L"the head of the delta is written already");
        return result;
    }
    // Puts `length` bytes out; the failure's code, logged, when a write call failed.
    int Put(const unsigned char* bytes, std::uint32_t length, int line)
    {
        if (out->Write(bytes, length))
            return RESULT_OK;
        failure = WriteFailure();
        return ReportError(failure, name.c_str(), kWrite, line);
    }
    int PutHead(int line)
    {
        if (headWritten)
            return RESULT_OK;
        headWritten = true;
        unsigned char head[kHeadRecordBytes];
        PutHeadRecords(head, version, window, fileSize);
        return Put(head, kHeadRecordBytes, line);
    }

    std::wstring name;
    int descriptor = -1;
    bool owned = false;
    std::unique_ptr<WriteBuffer> out;
    bool headWritten = false;
    bool finished = false;
    int failure = RESULT_OK;

    std::uint32_t version = 0;
    std::uint32_t window = 0;
    std::uint64_t fileSize = 0;
    std::int64_t time = 0;
    _sha1_hash digest = {};
    DeltaTally tally;
};

DeltaFileWriter::DeltaFileWriter() : state_(new State)
{
    state_->tally.bytes = kFixedDeltaBytes;
}

DeltaFileWriter::~DeltaFileWriter() = default;

int DeltaFileWriter::Create(const std::wstring& path)
{
    State& s = *state_;
    if (s.descriptor >= 0)
        return s.Refuse(kOpen, __LINE__, L"a writer writes one delta");
    s.name = path;
    s.descriptor = Platform::CurrentRuntime().Open(path, Platform::OpenMode::WriteCreate);
    if (s.descriptor < 0)
        return ReportError(RESULT_FAILED, path.c_str(), kOpen, __LINE__);
    s.owned = true;
    s.out.reset(new WriteBuffer(s.descriptor));
    return RESULT_OK;
}

int DeltaFileWriter::Attach(int descriptor)
{
    State& s = *state_;
    if (s.descriptor >= 0)
        return s.Refuse(kOpen, __LINE__, L"a writer writes one delta");
    s.name = L"descriptor " + std::to_wstring(descriptor);
    if (descriptor < 0)
        return s.Refuse(kOpen, __LINE__, L"is no descriptor");
    s.descriptor = descriptor;
    s.out.reset(new WriteBuffer(descriptor));
    return RESULT_OK;
}

bool DeltaFileWriter::Failed() const
{
    return state_->failure != RESULT_OK;
}

DeltaTally DeltaFileWriter::Tally() const
{
    return state_->tally;
}

std::uint32_t DeltaFileWriter::GetDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.copies + state_->tally.literals);
}

std::uint32_t DeltaFileWriter::GetDigestDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.copies);
}

std::uint32_t DeltaFileWriter::GetBufferDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.literals);
}

std::uint32_t DeltaFileWriter::GetBufferDeltaSize() const
{
    return static_cast<std::uint32_t>(state_->tally.literalBytes);
}

std::uint32_t DeltaFileWriter::GetDeltaSize() const
{
    return static_cast<std::uint32_t>(state_->tally.bytes);
}

int DeltaFileWriter::WriteVersion(std::uint32_t version)
{
    const int result = state_->HeadWritable(__LINE__);
    if (result == RESULT_OK)
        state_->version = version;
    return result;
}

int DeltaFileWriter::WriteWindowSize(std::uint32_t windowSize)
{
    const int result = state_->HeadWritable(__LINE__);
    if (result == RESULT_OK)
        state_->window = windowSize;
    return result;
}

int DeltaFileWriter::WriteFileSize(std::uint64_t fileSize)
{
    const int result = state_->HeadWritable(__LINE__);
    if (result == RESULT_OK)
        state_->fileSize = fileSize;
    return result;
}

int DeltaFileWriter::WriteFileDigest(const _sha1_hash& digest)
{
    const int result = state_->Writable(__LINE__);
    if (result == RESULT_OK)
        state_->digest = digest;
    return result;
}

int DeltaFileWriter::WriteFileModifiedTime(const std::int64_t& modifiedTime)
{
    const int result = state_->Writable(__LINE__);
    if (result == RESULT_OK)
        state_->time = modifiedTime;
    return result;
}

int DeltaFileWriter::WriteDelta(const unsigned char* data, std::uint32_t length)
{
    State& s = *state_;
    int result = s.Writable(__LINE__);
    if (result == RESULT_OK)
        result = s.PutHead(__LINE__);
    if (result != RESULT_OK)
        return result;
    unsigned char record[kInstructionRecordBytes] = {kLiteralTag};
    PutLittleEndian(record + 1, length);
    result = s.Put(record, kInstructionRecordBytes, __LINE__);
    if (result == RESULT_OK && length != 0)
        result = s.Put(data, length, __LINE__);
    if (result != RESULT_OK)
        return result;
    ++s.tally.literals;
    s.tally.literalBytes += length;
    s.tally.bytes += kInstructionRecordBytes + std::uint64_t{length};
    return RESULT_OK;
}

int DeltaFileWriter::WriteDelta(std::uint32_t blockIndex)
{
    State& s = *state_;
    int result = s.Writable(__LINE__);
    if (result == RESULT_OK)
        result = s.PutHead(__LINE__);
    if (result != RESULT_OK)
        return result;
    unsigned char record[kInstructionRecordBytes] = {kCopyTag};
    PutLittleEndian(record + 1, blockIndex);
    result = s.Put(record, kInstructionRecordBytes, __LINE__);
    if (result != RESULT_OK)
        return result;
    ++s.tally.copies;
    s.tally.bytes += kInstructionRecordBytes;
    return RESULT_OK;
}

int DeltaFileWriter::Finish()
{
    State& s = *state_;
    int result = s.Writable(__LINE__);
    if (result == RESULT_OK)
        result = s.PutHead(__LINE__);
    if (result != RESULT_OK)
        return result;
    unsigned char tail[kTailRecordBytes];
    PutTailRecords(tail, s.time, s.digest);
    result = s.Put(tail, kTailRecordBytes, __LINE__);
    if (result != RESULT_OK)
        return result;
    s.finished = true;
    if (!s.out->Flush()) {
        s.failure = WriteFailure();
        return ReportError(s.failure, s.name.c_str(), kFinish, __LINE__);
    }
    if (s.owned) {
        s.owned = false;
        // Some file systems report a failed write only when the file is closed.
        if (Platform::CurrentRuntime().Close(s.descriptor) != 0) {
            s.failure = WriteFailure();
            return ReportError(s.failure, s.name.c_str(), kFinish, __LINE__);
        }
    }
    return RESULT_OK;
}

int DeltaFileWriter::ReadVersion(std::uint32_t& version)
{
    version = state_->version;
    return RESULT_OK;
}

int DeltaFileWriter::ReadWindowSize(std::uint32_t& windowSize)
{
    windowSize = state_->window;
    return RESULT_OK;
}

int DeltaFileWriter::ReadFileSize(std::uint64_t& fileSize)
{
    fileSize = state_->fileSize;
    return RESULT_OK;
}

int DeltaFileWriter::ReadFileDigest(_sha1_hash& digest)
{
    digest = state_->digest;
    return RESULT_OK;
}

int DeltaFileWriter::ReadFileModifiedTime(std::int64_t& modifiedTime)
{
    modifiedTime = state_->time;
    return RESULT_OK;
}

int DeltaFileWriter::ReadDelta(void**, boost::shared_ptr<DeltaEntry>&)
{
    return state_->Refuse("Halvorn::Vantrel::DeltaFileWriter::ReadDelta", __LINE__,
                          L"a delta being written cannot be read");
}

} // namespace Vantrel
} // namespace Halvorn
