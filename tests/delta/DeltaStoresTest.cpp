// The delta stores: the one in memory, whose instructions are shared by its copies and whose
// reading is one for all its readers; the streaming ones, what a stream cannot do, read as a file
// (which can seek) and as a stream (a descriptor read once), and what either refuses. That
// every store's blob is the same bytes is held in ../io/BlobRecordsTest.cpp.
#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Halvorn::Platform::CurrentRuntime;
using Entry = boost::shared_ptr<DeltaEntry>;

// Reads one instruction, and keeps it in `kept`.
Instruction Next(IDeltaIO& store, void*& cursor, Entry* kept = nullptr)
{
    Entry entry;
    EXPECT_EQ(store.ReadDelta(&cursor, entry), RESULT_OK);
    if (kept != nullptr)
        *kept = entry;
    return entry ? InstructionOf(*entry) : Copy(-2);
}

// The instruction objects themselves, in reading order.
std::vector<DeltaEntry*> ObjectsOf(IDeltaIO& store)
{
    std::vector<DeltaEntry*> out;
    void* cursor = nullptr;
    for (Entry entry; store.ReadDelta(&cursor, entry) == RESULT_OK;)
        out.push_back(entry.get());
    return out;
}

// A ReadDelta call that finds nothing: the failure code, one line, the caller's pointer untouched.
void ExpectEndOfReading(IDeltaIO& store, void*& cursor)
{
    const Entry sentinel(new DigestDeltaEntry(12345));
    Entry entry = sentinel;
    LogCapture capture;
    EXPECT_EQ(store.ReadDelta(&cursor, entry), RESULT_FAILED);
    EXPECT_EQ(entry, sentinel);
    EXPECT_TRUE(
        IsErrorChain(capture.Texts(), {ErrorPrefix(32768, L"Halvorn::Vantrel::MemoryDeltaIO::ReadDelta")}));
}

// A new store is empty, with zero properties. The instructions are entries whose literals are
// copies of the caller's bytes and outlive the store; an empty literal counts as one. (Sizes
// and counts are held to the blob in ../io/BlobRecordsTest.cpp and to the streaming writer's.)
TEST(MemoryDeltaIO, EntriesHoldCopiesOfTheBytesAndOutliveTheStore)
{
    Entry kept;
    {
        MemoryDeltaIO store;
        EXPECT_EQ(store.GetDeltaCount() + store.GetDigestDeltaCount() + store.GetBufferDeltaCount(), 0u);
        EXPECT_EQ(store.GetDeltaSize(), 49u);
        EXPECT_EQ(PropertiesOf(store), (DeltaProperties{0, 0, 0, 0, _sha1_hash{}}));
        unsigned char buffer[] = "0123456789";
        ASSERT_EQ(store.WriteDelta(0xFEDCBA98u), RESULT_OK);
        ASSERT_EQ(store.WriteDelta(buffer, 10), RESULT_OK);
        buffer[0] = 'X';
        ASSERT_EQ(store.WriteDelta(nullptr, 0), RESULT_OK);
        EXPECT_EQ(store.GetBufferDeltaCount(), 2u);
        EXPECT_EQ(InstructionsOf(store),
                  (Instructions{Copy(0xFEDCBA98), Literal("0123456789"), Literal("")}));
        const std::vector<DeltaEntry*> entries = ObjectsOf(store);
        const std::uint32_t sizes[] = {4, 10, 0};
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i]->type, i < 1 ? 0u : 1u);
            EXPECT_EQ(entries[i]->size, sizes[i]);
        }
        void* cursor = nullptr;
        for (int i = 0; i < 2; ++i)
            Next(store, cursor, &kept);
        const DeltaProperties odd{0xFFFFFFFF, 0, 0x123456789ULL, -86400, Sha1Pattern(0x40)};
        WriteProperties(store, odd);
        EXPECT_EQ(store.Finish(), RESULT_OK);
        EXPECT_EQ(PropertiesOf(store), odd);
    }
    ASSERT_TRUE(kept.unique());
    EXPECT_EQ(InstructionOf(*kept), Literal("0123456789"));
}

TEST(MemoryDeltaIO, ReadingDeliversInOrderThenEndsUntilANewReadingStarts)
{
    MemoryDeltaIO store;
    void* cursor = nullptr;
    ExpectEndOfReading(store, cursor);
    WriteInstructions(store, {Copy(3), Literal("xy"), Copy(5)});
    cursor = nullptr;
    EXPECT_EQ(Next(store, cursor), Copy(3));
    EXPECT_EQ(Next(store, cursor), Literal("xy"));
    EXPECT_EQ(Next(store, cursor), Copy(5));
    ExpectEndOfReading(store, cursor);
    ExpectEndOfReading(store, cursor);
    EXPECT_EQ(InstructionsOf(store), (Instructions{Copy(3), Literal("xy"), Copy(5)}));
    // Every cursor stands for the store's one position: a second reader starting over
    // restarts the first one too.
    void* first = nullptr;
    void* second = nullptr;
    Next(store, first);
    Next(store, first);
    EXPECT_EQ(Next(store, second), Copy(3));
    EXPECT_EQ(Next(store, first), Literal("xy"));
}

// A copy, made or assigned over a store being read, has the source's counts, properties and
// very instruction objects, starts without a reading, and outlives the source and grows on its
// own; copying leaves the source's reading alone. Self-assignment keeps everything.
TEST(MemoryDeltaIO, CopiesShareTheInstructionsAndStartWithoutAReading)
{
    const DeltaProperties properties{4, 512, 1000, -3, Sha1Pattern(0x60)};
    for (bool assign : {false, true}) {
        SCOPED_TRACE(assign ? "assigned" : "constructed");
        auto source = std::make_unique<MemoryDeltaIO>();
        WriteProperties(*source, properties);
        WriteInstructions(*source, {Copy(1), Literal("abc"), Copy(2)});
        const std::vector<DeltaEntry*> objects = ObjectsOf(*source);
        void* cursor = nullptr;
        Next(*source, cursor);
        void* carried = cursor;
        std::unique_ptr<MemoryDeltaIO> copy;
        if (assign) {
            copy.reset(new MemoryDeltaIO);
            WriteInstructions(*copy, {Copy(77), Copy(78)});
            carried = nullptr;
            Next(*copy, carried);
            *copy = *source;
        } else {
            copy.reset(new MemoryDeltaIO(*source));
        }
        ExpectEndOfReading(*copy, carried);
        EXPECT_EQ(Next(*source, cursor), Literal("abc"));
        EXPECT_EQ(copy->GetDeltaSize(), source->GetDeltaSize());
        EXPECT_EQ(copy->GetBufferDeltaSize(), 3u);
        EXPECT_EQ(PropertiesOf(*copy), properties);
        EXPECT_EQ(ObjectsOf(*copy), objects);
        copy->WriteDelta(9u);
        EXPECT_EQ(InstructionsOf(*source), (Instructions{Copy(1), Literal("abc"), Copy(2)}));
        source.reset();
        EXPECT_EQ(InstructionsOf(*copy), (Instructions{Copy(1), Literal("abc"), Copy(2), Copy(9)}));

        void* reading = nullptr;
        Next(*copy, reading);
        MemoryDeltaIO& alias = *copy;
        *copy = alias;
        EXPECT_EQ(Next(*copy, reading), Literal("abc")) << "self-assignment keeps the reading";
        EXPECT_EQ(PropertiesOf(*copy), properties);
    }
}

std::string BlobOf(const DeltaProperties& properties, const Instructions& instructions)
{
    MemoryDeltaIO store;
    WriteProperties(store, properties);
    WriteInstructions(store, instructions);
    return KorrinTest::BlobOf(store);
}

// Reads a delta by name (a file), or through a descriptor (a stream).
class DeltaFileReaderTest : public ::testing::TestWithParam<bool> {
protected:
    bool Stream() const { return GetParam(); }
    int Open(DeltaFileReader& reader, const std::string& bytes)
    {
        const std::wstring path = dir.Put(L"delta", bytes);
        if (!Stream())
            return reader.Open(path);
        return reader.Attach(
            opened_.emplace(CurrentRuntime().Open(path, Halvorn::Platform::OpenMode::Read)).Get());
    }

    TempDir dir;

private:
    std::optional<Halvorn::ScopedFileDescriptor> opened_;
};

// The blob reader takes a version, window or file size record among the instructions; a
// reading that has begun cannot take back what it delivered.
TEST_P(DeltaFileReaderTest, ValuesTheInstructionsDependOnCannotChangeAmongThem)
{
    const std::string copy("D\x07\0\0\0", 5);
    for (const std::string& changed : {std::string("V\x02\0\0\0", 5), std::string("W\x02\0\0\0", 5),
                                       std::string("F\x02\0\0\0\0\0\0\0", 9)}) {
        DeltaFileReader reader;
        LogCapture capture;
        ASSERT_EQ(Open(reader, copy + changed + copy), RESULT_OK);
        EXPECT_EQ(InstructionsOf(reader), Instructions{Copy(7)});
        EXPECT_TRUE(reader.Damaged());
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_NE(capture.Texts()[0].find(L"after the instructions have begun, at byte 5"),
                  std::wstring::npos);
    }
}

// A file's time and SHA-1 value are read from its end up front, a stream's only once its
// instructions are; a second reading goes back to the first instruction of a file only.
TEST_P(DeltaFileReaderTest, AFileIsReadAtItsEndAndAgainAStreamOnce)
{
    DeltaFileReader reader;
    const DeltaProperties properties{1, 64, 70, -5, Sha1Pattern(7)};
    ASSERT_EQ(Open(reader, BlobOf(properties, {Copy(1), Literal("six...")})), RESULT_OK);
    std::int64_t time = 1;
    EXPECT_EQ(reader.ReadFileModifiedTime(time), RESULT_OK);
    EXPECT_EQ(time, Stream() ? 0 : -5);
    _sha1_hash digest = {};
    LogCapture capture;
    EXPECT_EQ(reader.ReadFileDigest(digest), Stream() ? RESULT_FAILED : RESULT_OK);
    EXPECT_EQ(InstructionsOf(reader).size(), 2u);
    EXPECT_EQ(PropertiesOf(reader), properties);
    void* cursor = nullptr;
    Entry entry;
    EXPECT_EQ(reader.ReadDelta(&cursor, entry), Stream() ? RESULT_FAILED : RESULT_OK);
    EXPECT_EQ(capture.Lines().size(), Stream() ? 2u : 0u);
}

// An instruction no one else holds is changed into the next one instead of a new one being
// made; one the caller keeps never changes.
TEST_P(DeltaFileReaderTest, InstructionsAreReusedOnlyWhenNoOneHoldsThem)
{
    DeltaFileReader reader;
    ASSERT_EQ(Open(reader, BlobOf({1, 4, 0, 0, {}}, {Copy(1), Copy(2), Literal("ab"), Literal("c"), Copy(3),
                                                     Literal("d"), Copy(4)})),
              RESULT_OK);
    void* cursor = nullptr;
    Entry entry;
    auto next = [&] {
        EXPECT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
        return entry;
    };
    const DeltaEntry* first = next().get();
    EXPECT_EQ(next().get(), first);
    EXPECT_EQ(InstructionOf(*entry), Copy(2));
    const Entry literal = next();
    EXPECT_NE(next().get(), literal.get());
    const Entry copy = next();
    next();
    EXPECT_NE(next().get(), copy.get());
    EXPECT_EQ(InstructionOf(*literal), Literal("ab"));
    EXPECT_EQ(literal->size, 2u);
    EXPECT_EQ(InstructionOf(*copy), Copy(3));
    EXPECT_EQ(InstructionOf(*entry), Copy(4));
}

INSTANTIATE_TEST_SUITE_P(Readings, DeltaFileReaderTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Stream" : "File";
                         });

// What each store refuses, with a log line, and what it leaves as it was.
TEST(DeltaFileStores, RefuseWhatTheirDirectionCannotDo)
{
    TempDir dir;
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
    Entry entry;
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
    TempDir dir;
    const std::string large(3u << 20, 'x');
    {
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"delta")), RESULT_OK);
        FaultyRuntime runtime;
        runtime.FailCall(RuntimeCall::Write, ENOSPC);
        LogCapture capture;
        EXPECT_EQ(WriteInstructions(writer, {Literal(large)}), RESULT_WRITE_ENOSPC);
        EXPECT_EQ(writer.WriteDelta(1u), RESULT_WRITE_ENOSPC);
        EXPECT_EQ(writer.Finish(), RESULT_WRITE_ENOSPC);
        const std::wstring failed =
            ErrorPrefix(RESULT_WRITE_ENOSPC, L"Halvorn::Vantrel::DeltaFileWriter::Write", dir.Path(L"delta"));
        EXPECT_TRUE(IsErrorChain(capture.Texts(), {failed, failed, failed}));
    }
    dir.Put(L"delta", BlobOf({1, 4, 0, 0, {}}, {Literal(large), Copy(0)}));
    DeltaFileReader reader;
    ASSERT_EQ(reader.Open(dir.Path(L"delta")), RESULT_OK);
    FaultyRuntime runtime;
    runtime.FailCall(RuntimeCall::Read, EIO);
    LogCapture capture;
    EXPECT_TRUE(InstructionsOf(reader).empty());
    EXPECT_TRUE(reader.Damaged());
    _sha1_hash digest;
    EXPECT_EQ(reader.ReadFileDigest(digest), RESULT_FAILED);
    EXPECT_EQ(capture.Lines().size(), 2u);
}

} // namespace
