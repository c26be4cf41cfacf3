// The streaming delta stores against the blob: the writer's file must be WriteToBlob's bytes,
// and the reader must accept, refuse and deliver what ReadFromBlob does, read as a file (which
// can seek) and as a stream (a descriptor read once).
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/DeltaFileWriter.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Runtime.h"
#include "support/Deltas.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Road.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::DeltaProperties;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::PropertiesOf;
using KorrinTest::Sha1Pattern;
using Instructions = std::vector<Instruction>;

void Write(IDeltaIO& store, const DeltaProperties& properties, const Instructions& instructions)
{
    KorrinTest::WriteProperties(store, properties);
    for (const Instruction& i : instructions) {
        if (i.block >= 0)
            ASSERT_EQ(store.WriteDelta(static_cast<std::uint32_t>(i.block)), RESULT_OK);
        else
            ASSERT_EQ(store.WriteDelta(reinterpret_cast<const unsigned char*>(i.bytes.data()),
                                       static_cast<std::uint32_t>(i.bytes.size())),
                      RESULT_OK);
    }
    ASSERT_EQ(store.Finish(), RESULT_OK);
}

// What the blob reader makes of `bytes`: its answer, and the store it filled.
struct BlobReading {
    int result;
    Instructions instructions;
    DeltaProperties properties;
};

BlobReading ReadBlob(const std::string& bytes)
{
    MemoryDeltaIO store;
    BlobReading reading;
    reading.result = store.ReadFromBlob(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<std::uint32_t>(bytes.size()));
    reading.instructions = InstructionsOf(store);
    reading.properties = PropertiesOf(store);
    return reading;
}

class DeltaFileTest : public ::testing::TestWithParam<bool> {
protected:
    ~DeltaFileTest() override
    {
        if (descriptor_ >= 0)
            Halvorn::Platform::CurrentRuntime().Close(descriptor_);
    }

    // Opens `name` for reading: by name (a file), or through a descriptor (a stream).
    int Open(DeltaFileReader& reader, const std::wstring& name)
    {
        if (!Stream())
            return reader.Open(dir.Path(name));
        descriptor_ =
            Halvorn::Platform::CurrentRuntime().Open(dir.Path(name), Halvorn::Platform::OpenMode::Read);
        return reader.Attach(descriptor_);
    }
    bool Stream() const { return GetParam(); }

    // Reads `bytes` through the reader and holds it to what the blob reader makes of them:
    // accepted alike with the same content, or refused alike, with no instruction delivered
    // past the fault and a log line naming its byte.
    void ExpectAsTheBlobReader(const std::string& bytes)
    {
        dir.WriteFile(L"delta", bytes);
        const BlobReading blob = ReadBlob(bytes);
        DeltaFileReader reader;
        LogCapture capture;
        Instructions delivered;
        if (Open(reader, L"delta") == RESULT_OK)
            delivered = InstructionsOf(reader);
        const bool accepted = !reader.Damaged() && capture.Lines().empty();
        ASSERT_EQ(accepted, blob.result == RESULT_OK);
        EXPECT_EQ(delivered, blob.instructions);
        if (accepted) {
            EXPECT_EQ(PropertiesOf(reader), blob.properties);
            EXPECT_EQ(reader.Tally().copies + reader.Tally().literals, blob.instructions.size());
        } else {
            EXPECT_NE(capture.Texts().front().find(L", at byte "), std::wstring::npos)
                << capture.Texts().front();
            _sha1_hash digest;
            EXPECT_EQ(reader.ReadFileDigest(digest), RESULT_FAILED) << "a damaged delta has no SHA-1 value";
        }
    }

    KorrinTest::TempDir dir;

private:
    int descriptor_ = -1;
};

// Random deltas of every make-up: the writer's bytes are the blob's, and both readings give
// the delta back.
TEST_P(DeltaFileTest, WriterWritesTheBlobAndTheReaderReadsItBack)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        const DeltaProperties properties{
            static_cast<std::uint32_t>(random() % 3), static_cast<std::uint32_t>(1 + random() % 65536),
            (std::uint64_t{random()} << 20) | random(), static_cast<std::int32_t>(random()),
            Sha1Pattern(static_cast<unsigned char>(round))};
        const int kind = round % 4; // none, copies only, literals only, mixed
        Instructions instructions;
        for (int n = kind == 0 ? 0 : static_cast<int>(random() % 300); n > 0; --n) {
            if (kind == 1 || (kind == 3 && random() % 2)) {
                instructions.push_back(Copy(random()));
            } else {
                // Some literals outgrow the stores' buffers.
                std::string bytes(random() % 50 == 0 ? (1 << 20) + random() % 5000 : random() % 3000, '\0');
                for (char& c : bytes)
                    c = static_cast<char>(random());
                instructions.push_back(Literal(bytes));
            }
        }
        MemoryDeltaIO memory;
        Write(memory, properties, instructions);
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"delta")), RESULT_OK);
        Write(writer, properties, instructions);
        const std::vector<unsigned char> blob = KorrinTest::BlobOf(memory);
        const std::string written = dir.ReadFile(L"delta");
        ASSERT_TRUE(written == std::string(blob.begin(), blob.end()));
        EXPECT_EQ(writer.Tally().bytes, blob.size());
        EXPECT_EQ(writer.GetBufferDeltaSize(), memory.GetBufferDeltaSize());
        EXPECT_EQ(writer.GetDigestDeltaCount(), memory.GetDigestDeltaCount());

        DeltaFileReader reader;
        ASSERT_EQ(Open(reader, L"delta"), RESULT_OK);
        EXPECT_TRUE(InstructionsOf(reader) == instructions);
        EXPECT_EQ(PropertiesOf(reader), properties);
        EXPECT_EQ(reader.GetDeltaSize(), memory.GetDeltaSize());
        EXPECT_EQ(reader.GetBufferDeltaCount(), memory.GetBufferDeltaCount());
    }
}

TEST_P(DeltaFileTest, EveryTruncationAsTheBlobReader)
{
    MemoryDeltaIO store;
    Write(store, {1, 2048, 5000, 0x0102030405060708, Sha1Pattern(0xA0)},
          {Copy(6), Literal("abc"), Literal(""), Copy(0xFFFFFFFF), Literal(std::string(40, 'M'))});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(store);
    for (std::size_t length = 0; length <= blob.size(); ++length) {
        SCOPED_TRACE(length);
        ExpectAsTheBlobReader(std::string(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length)));
    }
}

// Records in odd orders and numbers, which the blob reader takes, and malformed ones.
TEST_P(DeltaFileTest, OddAndMalformedRecordsAsTheBlobReader)
{
    const std::string version = std::string("V\x01\0\0\0", 5);
    const std::string copy = std::string("D\x07\0\0\0", 5);
    const std::string tail = "M12345678C" + std::string(20, 'h');
    const std::string oddOnes[] = {
        version + version + copy + tail,                    // a repeated version
        copy + version.substr(0, 1) + std::string(4, '\0'), // the version 0 again, after an instruction
        tail + copy + tail,                                 // the tail twice
        copy + "C" + std::string(20, 'x') + copy,           // a SHA-1 value among the instructions
        version + copy + "E1234",                           // no such tag
        version + copy + std::string("B\xFF\xFF\xFF\xFF", 5) + "abc", // a literal longer than what is left
        version + copy + copy.substr(0, 3),                           // cut inside a copy
    };
    for (const std::string& bytes : oddOnes) {
        SCOPED_TRACE(bytes);
        ExpectAsTheBlobReader(bytes);
    }
}

// What a stream cannot do, and what the reader refuses where the blob reader goes along.
TEST_P(DeltaFileTest, ValuesTheInstructionsDependOnCannotChangeAmongThem)
{
    const std::string copy = std::string("D\x07\0\0\0", 5);
    for (const std::string& changed : {std::string("V\x02\0\0\0", 5), std::string("W\x02\0\0\0", 5),
                                       std::string("F\x02\0\0\0\0\0\0\0", 9)}) {
        dir.WriteFile(L"delta", copy + changed + copy);
        ASSERT_EQ(ReadBlob(dir.ReadFile(L"delta")).result, RESULT_OK);
        DeltaFileReader reader;
        LogCapture capture;
        ASSERT_EQ(Open(reader, L"delta"), RESULT_OK);
        EXPECT_EQ(InstructionsOf(reader), Instructions{Copy(7)});
        EXPECT_TRUE(reader.Damaged());
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_NE(capture.Texts()[0].find(L"after the instructions have begun, at byte 5"),
                  std::wstring::npos);
    }
}

TEST_P(DeltaFileTest, TheSha1ValueIsKnownUpFrontOnlyWhereTheEndCanBeRead)
{
    MemoryDeltaIO store;
    const DeltaProperties properties{1, 64, 70, -5, Sha1Pattern(7)};
    Write(store, properties, {Copy(1), Literal("six...")});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(store);
    dir.WriteFile(L"delta", std::string(blob.begin(), blob.end()));

    DeltaFileReader reader;
    ASSERT_EQ(Open(reader, L"delta"), RESULT_OK);
    _sha1_hash digest = {};
    std::int64_t time = 1;
    EXPECT_EQ(reader.ReadFileModifiedTime(time), RESULT_OK);
    EXPECT_EQ(time, Stream() ? 0 : -5);
    {
        LogCapture capture;
        EXPECT_EQ(reader.ReadFileDigest(digest), Stream() ? RESULT_FAILED : RESULT_OK);
        EXPECT_EQ(capture.Lines().size(), Stream() ? 1u : 0u);
    }
    EXPECT_EQ(InstructionsOf(reader).size(), 2u);
    EXPECT_EQ(PropertiesOf(reader), properties);

    // A second reading: a file goes back to its first instruction, a stream cannot.
    LogCapture capture;
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    EXPECT_EQ(reader.ReadDelta(&cursor, entry), Stream() ? RESULT_FAILED : RESULT_OK);
    EXPECT_EQ(capture.Lines().size(), Stream() ? 1u : 0u);
}

// An instruction no one else holds is changed into the next one instead of a new one being
// made; one the caller keeps never changes.
TEST_P(DeltaFileTest, InstructionsAreReusedOnlyWhenNoOneHoldsThem)
{
    MemoryDeltaIO store;
    Write(store, {1, 4, 0, 0, {}}, {Copy(1), Copy(2), Literal("ab"), Literal("c"), Copy(3), Literal("de")});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(store);
    dir.WriteFile(L"delta", std::string(blob.begin(), blob.end()));
    DeltaFileReader reader;
    ASSERT_EQ(Open(reader, L"delta"), RESULT_OK);

    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    ASSERT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
    const DeltaEntry* first = entry.get();
    ASSERT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
    EXPECT_EQ(entry.get(), first);
    EXPECT_EQ(static_cast<const DigestDeltaEntry&>(*entry).blockIndex, 2u);

    ASSERT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
    const boost::shared_ptr<DeltaEntry> kept = entry;
    ASSERT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
    EXPECT_NE(entry.get(), kept.get());
    const auto& literal = static_cast<const BufferDeltaEntry&>(*kept);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length), "ab");
    EXPECT_EQ(kept->size, 2u);

    const boost::shared_ptr<DeltaEntry> keptCopy = [&] {
        EXPECT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
        return entry;
    }();
    ASSERT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
    EXPECT_EQ(static_cast<const DigestDeltaEntry&>(*keptCopy).blockIndex, 3u);
    EXPECT_EQ(entry->type, BufferDelta);
}

INSTANTIATE_TEST_SUITE_P(Readings, DeltaFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Stream" : "File";
                         });

// What each store refuses, with a log line, and what it leaves as it was.
TEST(DeltaFileStores, RefuseWhatTheirDirectionCannotDo)
{
    KorrinTest::TempDir dir;
    DeltaFileWriter writer;
    LogCapture capture;
    EXPECT_EQ(writer.WriteDelta(1u), RESULT_FAILED) << "nothing is open";
    ASSERT_EQ(writer.Create(dir.Path(L"delta")), RESULT_OK);
    EXPECT_EQ(writer.Create(dir.Path(L"other")), RESULT_FAILED);
    ASSERT_EQ(writer.WriteVersion(1), RESULT_OK);
    ASSERT_EQ(writer.WriteDelta(1u), RESULT_OK);
    EXPECT_EQ(writer.WriteVersion(2), RESULT_FAILED) << "the head has gone out";
    EXPECT_EQ(writer.WriteWindowSize(2), RESULT_FAILED);
    EXPECT_EQ(writer.WriteFileSize(2), RESULT_FAILED);
    std::uint32_t version = 0;
    EXPECT_EQ(writer.ReadVersion(version), RESULT_OK);
    EXPECT_EQ(version, 1u);
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    EXPECT_EQ(writer.ReadDelta(&cursor, entry), RESULT_FAILED);
    ASSERT_EQ(writer.Finish(), RESULT_OK);
    EXPECT_EQ(writer.WriteDelta(2u), RESULT_FAILED) << "finished";
    EXPECT_EQ(writer.Finish(), RESULT_FAILED);
    EXPECT_EQ(capture.Lines().size(), 8u);

    DeltaFileReader reader;
    EXPECT_EQ(reader.ReadVersion(version), RESULT_FAILED) << "nothing is open";
    EXPECT_EQ(reader.Open(dir.Path(L"missing")), RESULT_FAILED);
    ASSERT_EQ(reader.Open(dir.Path(L"delta")), RESULT_OK);
    EXPECT_EQ(reader.WriteDelta(1u), RESULT_FAILED);
    EXPECT_EQ(reader.Finish(), RESULT_FAILED);
    EXPECT_EQ(InstructionsOf(reader), Instructions{Copy(1)});
    EXPECT_EQ(capture.Lines().size(), 12u);
}

// A failed write is reported with its errno's code and stops the writer; a failed read
// damages the reader, whose SHA-1 value is then refused.
TEST(DeltaFileStores, FailedCallsAreReportedAndFinal)
{
    KorrinTest::TempDir dir;
    {
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"delta")), RESULT_OK);
        KorrinTest::FaultyRuntime runtime;
        runtime.FailCall(KorrinTest::RuntimeCall::Write, ENOSPC);
        const std::string large(3u << 20, 'x');
        LogCapture capture;
        EXPECT_EQ(writer.WriteDelta(reinterpret_cast<const unsigned char*>(large.data()),
                                    static_cast<std::uint32_t>(large.size())),
                  RESULT_WRITE_ENOSPC);
        EXPECT_EQ(writer.WriteDelta(1u), RESULT_WRITE_ENOSPC);
        EXPECT_EQ(writer.Finish(), RESULT_WRITE_ENOSPC);
        EXPECT_TRUE(KorrinTest::IsErrorChain(
            capture.Texts(),
            std::vector<std::wstring>(3, KorrinTest::ErrorPrefix(RESULT_WRITE_ENOSPC,
                                                                 L"Halvorn::Vantrel::DeltaFileWriter::Write",
                                                                 dir.Path(L"delta")))));
    }
    MemoryDeltaIO store;
    Write(store, {1, 4, 0, 0, {}}, {Literal(std::string(3u << 20, 'y')), Copy(0)});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(store);
    dir.WriteFile(L"delta", std::string(blob.begin(), blob.end()));
    DeltaFileReader reader;
    ASSERT_EQ(reader.Open(dir.Path(L"delta")), RESULT_OK);
    KorrinTest::FaultyRuntime runtime;
    runtime.FailCall(KorrinTest::RuntimeCall::Read, EIO);
    LogCapture capture;
    EXPECT_TRUE(InstructionsOf(reader).empty());
    EXPECT_TRUE(reader.Damaged());
    _sha1_hash digest;
    EXPECT_EQ(reader.ReadFileDigest(digest), RESULT_FAILED);
    EXPECT_EQ(capture.Lines().size(), 2u);
}

} // namespace
