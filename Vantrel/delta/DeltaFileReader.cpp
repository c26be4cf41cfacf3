// The streaming delta reader. The head is parsed once, at opening; a reading then parses
// the instructions and whatever records lie among them. Where the input is a file, the
// time and SHA-1 value are also taken from its last 30 bytes up front, provisionally: once a
// reading has passed every record, the values it met are the ones that count, exactly as
// the blob reader would have it, even for the odd delta whose last bytes only look like
// those records. An instruction handed out is changed into the next one when no one else
// holds it any more (Reusable), so that a reading allocates nothing per instruction.
#include <Vantrel/DeltaFileReader.h>

#include <cstring>
#include <string>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/delta/DeltaRecords.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/io/BlobRecords.h"
#include "Vantrel/io/ReadBuffer.h"
#include "platform/Runtime.h"

namespace Halvorn {
namespace Vantrel {

namespace {

// Records are read this much at a time; more saves little, since the calls are already few
// beside the records, and costs fresh pages.
constexpr std::uint32_t kBufferBytes = 1u << 16;

// The payload a tag fixes; 0 for a byte that is no tag. A literal's payload is its length
// field, its bytes follow.
std::uint32_t PayloadOf(unsigned char tag)
{
    return tag == kCopyTag || tag == kLiteralTag ? kInstructionRecordBytes - 1 : PropertyPayload(tag);
}

// Whether `mine` may be changed into the next instruction: no one holds it but this reader
// and, about to receive the next one in its place, the caller's `entry`.
template <typename Entry>
bool Reusable(const boost::shared_ptr<Entry>& mine, const boost::shared_ptr<DeltaEntry>& entry)
{
    const long holders = mine.use_count();
    return holders == 1 || (holders == 2 && entry.get() == static_cast<DeltaEntry*>(mine.get()));
}

} // namespace

struct DeltaFileReader::State {
    ~State()
    {
        in.reset();
        if (owned)
            Platform::CurrentRuntime().Close(descriptor);
    }

    // Reports a fault of the input at `offset`, and marks the reader damaged.
    int Damage(const char* function, int line, const std::wstring& what, std::uint64_t offset)
    {
        damaged = true;
        const std::wstring message = name + L": " + what + L", at byte " + std::to_wstring(offset);
        return ReportError(RESULT_FAILED, message.c_str(), function, line);
    }
    int Refuse(const char* function, int line, const wchar_t* what) const
    {
        const std::wstring message = name + L": " + what;
        return ReportError(RESULT_FAILED, message.c_str(), function, line);
    }
    // What every read checks first: an open reader that is not damaged.
    int Usable(const char* function, int line) const
    {
        if (descriptor < 0)
            return Refuse(function, line, L"no delta is open");
        if (damaged)
            return Refuse(function, line, L"the delta is damaged");
        return RESULT_OK;
    }

    // A version, window size or file size record: in the head it sets the value, after it
    // the value may only be repeated.
    template <typename T>
    bool Settle(T& held, T value, const char* function, const wchar_t* what, std::uint64_t at)
    {
        if (headDone && value != held) {
            Damage(function, __LINE__,
                   std::wstring(L"changes its ") + what + L" after the instructions have begun", at);
            return false;
        }
        held = value;
        return true;
    }
    enum class Next { Instruction, End, Damaged };
    // Reads records up to the next instruction, taking in the properties on the way. In the
    // head it stops in front of the instruction; otherwise it reads its tag and 32-bit field
    // (the block index, or the literal's length) into `tag` and `field`.
    Next Advance(const char* function, bool head, unsigned char& tag, std::uint32_t& field);
    // Reads the head, and the end of a file that can seek.
    int Begin();
    bool ReadLiteral(std::uint32_t length, std::uint64_t at, boost::shared_ptr<DeltaEntry>& entry);

    std::wstring name;
    int descriptor = -1;
    bool owned = false;
    std::unique_ptr<ReadBuffer> in;
    bool seekable = false;
    std::uint64_t size = 0; // of a file that can seek
    std::uint64_t firstInstruction = 0;

    std::uint32_t version = 0;
    std::uint32_t window = 0;
    std::uint64_t fileSize = 0;
    std::int64_t time = 0;
    _sha1_hash digest = {};
    bool tailKnown = false; // the provisional values from the file's last bytes
    std::int64_t tailTime = 0;
    _sha1_hash tailDigest = {};

    bool headDone = false; // past the head: V, W and F records may no longer change a value
    bool started = false;  // a reading has begun
    bool complete = false; // every record has been read, so the values are final
    bool ended = false;    // the present reading has reached the end
    bool damaged = false;
    DeltaTally tally;

    boost::shared_ptr<DigestDeltaEntry> copy;
    boost::shared_ptr<BufferDeltaEntry> literal;
    std::uint32_t literalCapacity = 0;
};

namespace {
constexpr const char* kOpen = "Halvorn::Vantrel::DeltaFileReader::Open";
constexpr const char* kReadDelta = "Halvorn::Vantrel::DeltaFileReader::ReadDelta";
constexpr const char* kRead = "Halvorn::Vantrel::DeltaFileReader::Read";
constexpr const char* kWrite = "Halvorn::Vantrel::DeltaFileReader::Write";
} // namespace

DeltaFileReader::State::Next DeltaFileReader::State::Advance(const char* function, bool head,
                                                             unsigned char& tag, std::uint32_t& field)
{
    for (;;) {
        if (in->Fill(1) == 0) {
            if (!in->Failed())
                return Next::End;
            Damage(function, __LINE__, L"cannot be read", in->Offset());
            return Next::Damaged;
        }
        const std::uint64_t at = in->Offset();
        tag = in->Data()[0];
        const std::uint32_t payload = PayloadOf(tag);
        if (payload == 0) {
            static const wchar_t kHex[] = L"0123456789ABCDEF";
            const wchar_t byte[] = {L'0', L'x', kHex[tag >> 4], kHex[tag & 15], L'\0'};
            Damage(function, __LINE__, std::wstring(L"holds the byte ") + byte + L", which begins no record",
                   at);
            return Next::Damaged;
        }
        if (head && (tag == kCopyTag || tag == kLiteralTag))
            return Next::Instruction;
        if (in->Fill(1 + payload) < 1 + payload) {
            if (in->Failed())
                Damage(function, __LINE__, L"cannot be read", in->Offset());
            else
                Damage(function, __LINE__, L"ends within a record", at);
            return Next::Damaged;
        }
        const unsigned char* p = in->Data() + 1;
        in->Skip(1 + payload);
        switch (tag) {
        case kCopyTag:
        case kLiteralTag:
            field = GetLittleEndian<std::uint32_t>(p);
            return Next::Instruction;
        // Once every record has been read, the values are final: a further reading meets the
        // same records again and must not show the values they had halfway.
        case kTimeTag:
            if (!complete)
                time = GetLittleEndian<std::int64_t>(p);
            break;
        case kSha1Tag:
            if (!complete)
                std::memcpy(digest.bytes, p, sizeof digest.bytes);
            break;
        case kVersionTag:
            if (!Settle(version, GetLittleEndian<std::uint32_t>(p), function, L"version", at))
                return Next::Damaged;
            break;
        case kWindowTag:
            if (!Settle(window, GetLittleEndian<std::uint32_t>(p), function, L"window size", at))
                return Next::Damaged;
            break;
        default:
            if (!Settle(fileSize, GetLittleEndian<std::uint64_t>(p), function, L"file size", at))
                return Next::Damaged;
            break;
        }
    }
}

int DeltaFileReader::State::Begin()
{
    in.reset(new ReadBuffer(descriptor, kBufferBytes));
    unsigned char tag = 0;
    std::uint32_t field = 0;
    const Next next = Advance(kOpen, true, tag, field);
    if (next == Next::Damaged)
        return RESULT_FAILED;
    headDone = true;
    firstInstruction = in->Offset();
    if (next == Next::End) {
        complete = true;
        return RESULT_OK;
    }
    // A file keeps its time and SHA-1 value in its last 30 bytes.
    unsigned char last[kTailRecordBytes];
    if (seekable && size >= firstInstruction + kTailRecordBytes &&
        in->ReadAt(size - kTailRecordBytes, last, kTailRecordBytes) && last[0] == kTimeTag &&
        last[9] == kSha1Tag) {
        tailKnown = true;
        tailTime = GetLittleEndian<std::int64_t>(last + 1);
        std::memcpy(tailDigest.bytes, last + 10, sizeof tailDigest.bytes);
    }
    if (in->Failed())
        return Damage(kOpen, __LINE__, L"cannot be read", in->Offset());
    return RESULT_OK;
}

bool DeltaFileReader::State::ReadLiteral(std::uint32_t length, std::uint64_t at,
                                         boost::shared_ptr<DeltaEntry>& entry)
{
    // A length no file could hold is refused before anything is allocated for it.
    if (seekable && length > size - in->Offset()) {
        Damage(kReadDelta, __LINE__, L"ends within a literal of " + std::to_wstring(length) + L" bytes", at);
        return false;
    }
    if (!literal || !Reusable(literal, entry)) {
        literal.reset(new BufferDeltaEntry(nullptr, 0));
        literalCapacity = 0;
    }
    // A stream's literal grows with the bytes that arrive, never ahead of them by more than
    // its size so far: a length field alone cannot make the reader take much memory.
    std::uint32_t have = 0;
    while (have < length) {
        std::uint32_t want = length;
        if (!seekable && length - have > (have > kBufferBytes ? have : kBufferBytes))
            want = have + (have > kBufferBytes ? have : kBufferBytes);
        if (want > literalCapacity) {
            std::unique_ptr<unsigned char[]> larger(new unsigned char[want]);
            std::memcpy(larger.get(), literal->buffer, have);
            delete[] literal->buffer;
            literal->buffer = larger.release();
            literalCapacity = want;
        }
        if (!in->Take(literal->buffer + have, want - have)) {
            // Whoever held the instruction must not see it half overwritten.
            if (entry.get() == literal.get())
                entry.reset();
            if (in->Failed())
                Damage(kReadDelta, __LINE__, L"cannot be read", in->Offset());
            else
                Damage(kReadDelta, __LINE__,
                       L"ends within a literal of " + std::to_wstring(length) + L" bytes", at);
            return false;
        }
        have = want;
    }
    literal->length = length;
    literal->size = length;
    if (entry.get() != literal.get())
        entry = literal;
    return true;
}

DeltaFileReader::DeltaFileReader() : state_(new State) {}

DeltaFileReader::~DeltaFileReader() = default;

int DeltaFileReader::Open(const std::wstring& path)
{
    State& s = *state_;
    if (s.descriptor >= 0)
        return s.Refuse(kOpen, __LINE__, L"a reader opens one delta");
    s.name = path;
    Platform::Runtime& runtime = Platform::CurrentRuntime();
    s.descriptor = runtime.Open(path, Platform::OpenMode::ReadSequential);
    if (s.descriptor < 0)
        return ReportError(RESULT_FAILED, path.c_str(), kOpen, __LINE__);
    s.owned = true;
    // A pipe or a device reads as a stream; a file can be read again and at its end.
    Platform::FileStatus status;
    s.seekable = runtime.Stat(path, status) == 0 && status.size > 0 && runtime.Seek(s.descriptor, 0) == 0;
    s.size = status.size;
    const int result = s.Begin();
    if (result != RESULT_OK)
        return ReportError(result, path.c_str(), kOpen, __LINE__);
    return RESULT_OK;
}

int DeltaFileReader::Attach(int descriptor)
{
    State& s = *state_;
    if (s.descriptor >= 0)
        return s.Refuse(kOpen, __LINE__, L"a reader opens one delta");
    s.name = L"descriptor " + std::to_wstring(descriptor);
    if (descriptor < 0)
        return s.Refuse(kOpen, __LINE__, L"is no descriptor");
    s.descriptor = descriptor;
    const int result = s.Begin();
    if (result != RESULT_OK)
        return ReportError(result, s.name.c_str(), kOpen, __LINE__);
    return RESULT_OK;
}

bool DeltaFileReader::Damaged() const
{
    return state_->damaged;
}

DeltaTally DeltaFileReader::Tally() const
{
    return state_->tally;
}

std::uint32_t DeltaFileReader::GetDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.copies + state_->tally.literals);
}

std::uint32_t DeltaFileReader::GetDigestDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.copies);
}

std::uint32_t DeltaFileReader::GetBufferDeltaCount() const
{
    return static_cast<std::uint32_t>(state_->tally.literals);
}

std::uint32_t DeltaFileReader::GetBufferDeltaSize() const
{
    return static_cast<std::uint32_t>(state_->tally.literalBytes);
}

std::uint32_t DeltaFileReader::GetDeltaSize() const
{
    return static_cast<std::uint32_t>(state_->tally.bytes);
}

int DeltaFileReader::WriteVersion(std::uint32_t)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteWindowSize(std::uint32_t)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteFileSize(std::uint64_t)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteFileDigest(const _sha1_hash&)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteFileModifiedTime(const std::int64_t&)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteDelta(const unsigned char*, std::uint32_t)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::WriteDelta(std::uint32_t)
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::Finish()
{
    return state_->Refuse(kWrite, __LINE__, L"a delta being read cannot be written");
}

int DeltaFileReader::ReadVersion(std::uint32_t& version)
{
    const int result = state_->Usable(kRead, __LINE__);
    if (result == RESULT_OK)
        version = state_->version;
    return result;
}

int DeltaFileReader::ReadWindowSize(std::uint32_t& windowSize)
{
    const int result = state_->Usable(kRead, __LINE__);
    if (result == RESULT_OK)
        windowSize = state_->window;
    return result;
}

int DeltaFileReader::ReadFileSize(std::uint64_t& fileSize)
{
    const int result = state_->Usable(kRead, __LINE__);
    if (result == RESULT_OK)
        fileSize = state_->fileSize;
    return result;
}

int DeltaFileReader::ReadFileDigest(_sha1_hash& digest)
{
    const State& s = *state_;
    const int result = s.Usable(kRead, __LINE__);
    if (result != RESULT_OK)
        return result;
    if (s.complete)
        digest = s.digest;
    else if (s.tailKnown)
        digest = s.tailDigest;
    else
        return s.Refuse(kRead, __LINE__,
                        L"a stream's SHA-1 value is known only once its instructions are read");
    return RESULT_OK;
}

int DeltaFileReader::ReadFileModifiedTime(std::int64_t& modifiedTime)
{
    const State& s = *state_;
    const int result = s.Usable(kRead, __LINE__);
    if (result == RESULT_OK)
        modifiedTime = !s.complete && s.tailKnown ? s.tailTime : s.time;
    return result;
}

int DeltaFileReader::ReadDelta(void** cursor, boost::shared_ptr<DeltaEntry>& entry)
{
    State& s = *state_;
    int result = s.Usable(kReadDelta, __LINE__);
    if (result != RESULT_OK)
        return result;
    if (*cursor == nullptr) {
        // A new reading starts at the first instruction: a file goes back to it, a stream
        // can only be at it still.
        if (s.started && s.in->Offset() != s.firstInstruction) {
            if (!s.seekable || !s.in->SeekTo(s.firstInstruction))
                return s.Refuse(kReadDelta, __LINE__, L"a stream can be read only once");
        }
        s.started = true;
        s.ended = false;
        s.tally = DeltaTally();
        s.tally.bytes = kFixedDeltaBytes;
        *cursor = &s;
    }
    if (s.ended)
        return RESULT_FAILED;

    unsigned char tag = 0;
    std::uint32_t field = 0;
    // Copies are most of a large delta's records: one that is buffered whole is taken here,
    // and everything else goes the general way.
    if (s.in->Fill(kInstructionRecordBytes) >= kInstructionRecordBytes && s.in->Data()[0] == kCopyTag) {
        tag = kCopyTag;
        field = GetLittleEndian<std::uint32_t>(s.in->Data() + 1);
        s.in->Skip(kInstructionRecordBytes);
    } else {
        switch (s.Advance(kReadDelta, false, tag, field)) {
        case State::Next::End:
            s.complete = s.ended = true;
            return RESULT_FAILED;
        case State::Next::Damaged:
            return RESULT_FAILED;
        case State::Next::Instruction:
            break;
        }
    }
    s.tally.bytes += kInstructionRecordBytes;
    if (tag == kCopyTag) {
        if (!s.copy || !Reusable(s.copy, entry))
            s.copy.reset(new DigestDeltaEntry(field));
        s.copy->blockIndex = field;
        if (entry.get() != s.copy.get())
            entry = s.copy;
        ++s.tally.copies;
        return RESULT_OK;
    }
    if (!s.ReadLiteral(field, s.in->Offset() - kInstructionRecordBytes, entry))
        return RESULT_FAILED;
    ++s.tally.literals;
    s.tally.literalBytes += field;
    s.tally.bytes += field;
    return RESULT_OK;
}

std::uint32_t DeltaFileReader::TakeCopyRun(std::uint32_t next, std::uint32_t most)
{
    State& s = *state_;
    if (s.descriptor < 0 || s.damaged || s.ended || !s.started)
        return 0;
    std::uint32_t taken = 0;
    // A record that copies another block, or that cannot be read whole, ends the run: it is
    // ReadDelta's to meet, and to report if it is damaged.
    while (taken < most && s.in->Fill(kInstructionRecordBytes) >= kInstructionRecordBytes) {
        const unsigned char* record = s.in->Data();
        if (record[0] != kCopyTag || GetLittleEndian<std::uint32_t>(record + 1) != next + taken)
            break;
        s.in->Skip(kInstructionRecordBytes);
        ++taken;
    }
    s.tally.copies += taken;
    s.tally.bytes += std::uint64_t{taken} * kInstructionRecordBytes;
    return taken;
}

} // namespace Vantrel
} // namespace Halvorn
