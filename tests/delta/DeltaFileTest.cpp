// The streaming delta stores: what a stream cannot do, read as a file (which can seek) and as a
// stream (a descriptor read once), and what either store refuses. That the writer writes the
// blob's bytes and the reader reads what the blob reader reads is held in ../io/BlobRecordsTest.cpp.
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/DeltaFileWriter.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Runtime.h"
#include "support/Stores.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Halvorn::Platform::CurrentRuntime;
using Entry = boost::shared_ptr<DeltaEntry>;

std::string BlobOf(const DeltaProperties& properties, const Instructions& instructions)
{
    MemoryDeltaIO store;
    WriteProperties(store, properties);
    WriteInstructions(store, instructions);
    return KorrinTest::BlobOf(store);
}

class DeltaFileReaderTest : public ::testing::TestWithParam<bool> {
protected:
    ~DeltaFileReaderTest() override
    {
        if (descriptor_ >= 0)
            CurrentRuntime().Close(descriptor_);
    }
    bool Stream() const { return GetParam(); }
    // Writes `bytes` and opens them: by name (a file), or through a descriptor (a stream).
    int Open(DeltaFileReader& reader, const std::string& bytes)
    {
        dir.WriteFile(L"delta", bytes);
        if (!Stream())
            return reader.Open(dir.Path(L"delta"));
        descriptor_ = CurrentRuntime().Open(dir.Path(L"delta"), Halvorn::Platform::OpenMode::Read);
        return reader.Attach(descriptor_);
    }
    int Open(DeltaFileReader& reader, const DeltaProperties& properties, const Instructions& instructions)
    {
        return Open(reader, BlobOf(properties, instructions));
    }

    TempDir dir;

private:
    int descriptor_ = -1;
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
    ASSERT_EQ(Open(reader, properties, {Copy(1), Literal("six...")}), RESULT_OK);
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
    ASSERT_EQ(Open(reader, {1, 4, 0, 0, {}},
                   {Copy(1), Copy(2), Literal("ab"), Literal("c"), Copy(3), Literal("d"), Copy(4)}),
              RESULT_OK);
    void* cursor = nullptr;
    Entry entry;
    auto next = [&] {
        EXPECT_EQ(reader.ReadDelta(&cursor, entry), RESULT_OK);
        return entry;
    };
    const DeltaEntry* first = next().get();
    EXPECT_EQ(next().get(), first);
    EXPECT_EQ(static_cast<const DigestDeltaEntry&>(*entry).blockIndex, 2u);
    const Entry literal = next();
    EXPECT_NE(next().get(), literal.get());
    const Entry copy = next();
    next();
    EXPECT_NE(next().get(), copy.get());
    const auto& kept = static_cast<const BufferDeltaEntry&>(*literal);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kept.buffer), kept.length), "ab");
    EXPECT_EQ(kept.size, 2u);
    EXPECT_EQ(static_cast<const DigestDeltaEntry&>(*copy).blockIndex, 3u);
    EXPECT_EQ(static_cast<const DigestDeltaEntry&>(*entry).blockIndex, 4u);
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
    dir.WriteFile(L"delta", BlobOf({1, 4, 0, 0, {}}, {Literal(large), Copy(0)}));
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
