#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::Copy;
using KorrinTest::DeltaProperties;
using KorrinTest::ErrorPrefix;
using KorrinTest::Instruction;
using KorrinTest::InstructionsOf;
using KorrinTest::IsErrorChain;
using KorrinTest::LineNumberOf;
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::PropertiesOf;
using KorrinTest::Sha1Pattern;
using KorrinTest::WriteProperties;
using Bytes = std::vector<unsigned char>;
using Instructions = std::vector<Instruction>;

const std::wstring kReader = L"Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob";

const DeltaProperties kExample{1, 2048, 5000, 0x0102030405060708, Sha1Pattern(0xA0)};

void AddLiteral(MemoryDeltaIO& store, const std::string& bytes)
{
    store.WriteDelta(reinterpret_cast<const unsigned char*>(bytes.data()),
                     static_cast<std::uint32_t>(bytes.size()));
}

Bytes BlobOf(MemoryDeltaIO& store)
{
    unsigned char* blob = reinterpret_cast<unsigned char*>(1);
    std::uint32_t size = 12345;
    store.WriteToBlob(&blob, &size);
    EXPECT_NE(blob, nullptr);
    EXPECT_EQ(size, store.GetDeltaSize());
    Bytes bytes(blob, blob + size);
    std::free(blob);
    return bytes;
}

// Reads `blob` from a buffer of exactly its size, so that reading past it is caught.
int Read(MemoryDeltaIO& store, const Bytes& blob)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[blob.size()]);
    std::copy(blob.begin(), blob.end(), exact.get());
    return store.ReadFromBlob(exact.get(), static_cast<std::uint32_t>(blob.size()));
}

// Expects `blob` refused with `code` and one reader line; returns the line's source line, so
// that tests can tell report sites apart without depending on their numbers.
int Refused(MemoryDeltaIO& store, const Bytes& blob, int code = RESULT_FAILED)
{
    LogCapture capture;
    EXPECT_EQ(Read(store, blob), code);
    const std::vector<std::wstring> texts = capture.Texts();
    EXPECT_TRUE(IsErrorChain(texts, {ErrorPrefix(code, kReader)}));
    return texts.size() == 1 ? LineNumberOf(texts[0]) : -1;
}

Bytes Prefix(const Bytes& blob, std::size_t length)
{
    return Bytes(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length));
}

TEST(DeltaBlob, TheWorkedExampleByteForByte)
{
    MemoryDeltaIO store;
    WriteProperties(store, kExample);
    store.WriteDelta(0u);
    AddLiteral(store, "abc");
    const Bytes blob = BlobOf(store);
    Bytes expected = {0x56, 1,    0,    0,    0,    0x57, 0, 8, 0, 0, 0x46, 0x88, 0x13, 0,
                      0,    0,    0,    0,    0,    0x44, 0, 0, 0, 0, 0x42, 3,    0,    0,
                      0,    0x61, 0x62, 0x63, 0x4D, 8,    7, 6, 5, 4, 3,    2,    1,    0x43};
    for (unsigned i = 0; i < 20; ++i)
        expected.push_back(static_cast<unsigned char>(0xA0 + i));
    ASSERT_EQ(expected.size(), 62u);
    EXPECT_EQ(blob, expected);
}

// Write, read into a fresh store, write again: the same properties, instructions and bytes.
TEST(DeltaBlob, RoundTripKeepsPropertiesInstructionsAndBytes)
{
    std::mt19937 random(17);
    MemoryDeltaIO store;
    const DeltaProperties odd{3, 0, 0x1234567890ULL, -1234567, Sha1Pattern(0x11)};
    WriteProperties(store, odd);
    for (int i = 0; i < 400; ++i) {
        if (random() % 2) {
            store.WriteDelta(static_cast<std::uint32_t>(random()));
        } else {
            std::string bytes(random() % 4 == 0 ? 0 : random() % 700, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            AddLiteral(store, bytes);
        }
    }
    const Bytes blob = BlobOf(store);
    MemoryDeltaIO read;
    ASSERT_EQ(Read(read, blob), RESULT_OK);
    EXPECT_EQ(InstructionsOf(read), InstructionsOf(store));
    EXPECT_EQ(read.GetBufferDeltaCount(), store.GetBufferDeltaCount());
    EXPECT_EQ(PropertiesOf(read), odd);
    EXPECT_EQ(BlobOf(read), blob);
}

TEST(DeltaBlob, OnlyAStoreWithoutInstructionsIsFilled)
{
    MemoryDeltaIO source;
    WriteProperties(source, kExample);
    source.WriteDelta(1u);
    const Bytes blob = BlobOf(source);

    // Nothing to read: accepted, and nothing changes.
    for (const unsigned char* pointer : {blob.data(), static_cast<const unsigned char*>(nullptr)}) {
        MemoryDeltaIO fresh;
        fresh.WriteVersion(9);
        LogCapture capture;
        EXPECT_EQ(fresh.ReadFromBlob(pointer, 0), RESULT_OK);
        EXPECT_TRUE(capture.Lines().empty());
        EXPECT_EQ(fresh.GetDeltaCount(), 0u);
        EXPECT_EQ(PropertiesOf(fresh), (DeltaProperties{9, 0, 0, 0, _sha1_hash{}}));
    }

    for (std::size_t size : {blob.size(), std::size_t{0}}) {
        MemoryDeltaIO holding;
        AddLiteral(holding, "zz");
        Refused(holding, Prefix(blob, size));
        EXPECT_EQ(InstructionsOf(holding), Instructions{Literal("zz")});
        EXPECT_EQ(PropertiesOf(holding).version, 0u);
    }
}

// Every prefix of a real blob: accepted where it ends between records (the blob has no end
// record), refused with one reader line otherwise; the instructions read before the cut stay.
// An empty literal is a record like any other.
TEST(DeltaBlob, EveryTruncation)
{
    MemoryDeltaIO store;
    WriteProperties(store, kExample);
    store.WriteDelta(6u);
    AddLiteral(store, "abc");
    AddLiteral(store, "");
    const Bytes blob = BlobOf(store); // V@0 W@5 F@10 D@19 B@24 B@32 M@37 C@46, 67 bytes
    ASSERT_EQ(blob.size(), 67u);
    const std::set<std::size_t> boundaries = {0, 5, 10, 19, 24, 32, 37, 46, 67};
    const Instructions all = {Copy(6), Literal("abc"), Literal("")};

    for (std::size_t length = 0; length <= blob.size(); ++length) {
        SCOPED_TRACE(length);
        MemoryDeltaIO read;
        if (boundaries.count(length)) {
            LogCapture capture;
            EXPECT_EQ(Read(read, Prefix(blob, length)), RESULT_OK);
            EXPECT_TRUE(capture.Lines().empty());
        } else {
            Refused(read, Prefix(blob, length));
        }
        const std::size_t complete = (length >= 24) + (length >= 32) + (length >= 37);
        EXPECT_EQ(InstructionsOf(read), Instructions(all.begin(), all.begin() + complete));
        EXPECT_EQ(PropertiesOf(read).size, length >= 19 ? 5000u : 0u);
    }
}

TEST(DeltaBlob, EachMalformationHasItsOwnReportSite)
{
    MemoryDeltaIO store;
    WriteProperties(store, kExample);
    store.WriteDelta(6u);
    AddLiteral(store, "abc");
    const Bytes blob = BlobOf(store); // V@0 W@5 F@10 D@19 B@24 M@32 C@41, 62 bytes

    std::vector<int> lines;
    // Inside V, W, F, D, the B length, the B bytes, M and C.
    for (std::size_t length : {4, 9, 18, 23, 27, 31, 40, 61}) {
        MemoryDeltaIO fresh;
        lines.push_back(Refused(fresh, Prefix(blob, length)));
        EXPECT_EQ(fresh.GetDeltaCount(), (length >= 24) + (length >= 32)) << "none for a cut record";
    }
    for (unsigned char tag : {0x45, 0x00, 0x58}) { // E lies between the tags D and F
        MemoryDeltaIO fresh;
        lines.push_back(Refused(fresh, Bytes{tag, 1, 2, 3, 4}));
    }
    MemoryDeltaIO holding;
    holding.WriteDelta(0u);
    lines.push_back(Refused(holding, blob));
    // A literal claiming more bytes than there are, however many.
    MemoryDeltaIO huge;
    EXPECT_EQ(Refused(huge, Bytes{0x42, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'}), lines[5]);
    EXPECT_EQ(huge.GetDeltaCount(), 0u);

    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 10u);
    EXPECT_EQ(std::set<int>(lines.begin() + 8, lines.begin() + 11).size(), 1u) << "one site for unknown tags";
}

TEST(DeltaBlob, RecordsTakeEffectOneByOne)
{
    MemoryDeltaIO twice;
    ASSERT_EQ(Read(twice, Bytes{0x56, 7, 0, 0, 0, 0x56, 2, 1, 0, 0}), RESULT_OK);
    EXPECT_EQ(PropertiesOf(twice).version, 0x102u) << "the later record wins";

    MemoryDeltaIO versionOnly;
    versionOnly.WriteWindowSize(77);
    versionOnly.WriteFileSize(88);
    ASSERT_EQ(Read(versionOnly, Bytes{0x56, 5, 0, 0, 0}), RESULT_OK);
    EXPECT_EQ(PropertiesOf(versionOnly), (DeltaProperties{5, 77, 88, 0, _sha1_hash{}}));
    EXPECT_EQ(versionOnly.GetDeltaCount(), 0u);

    MemoryDeltaIO broken;
    Refused(broken, Bytes{0x56, 5, 0, 0, 0, 0x44, 9, 0, 0, 0, 0x58, 0x46, 1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(InstructionsOf(broken), Instructions{Copy(9)});
    EXPECT_EQ(PropertiesOf(broken), (DeltaProperties{5, 0, 0, 0, _sha1_hash{}}))
        << "nothing after the bad record is read";
}

// The reader appends through the store's own WriteDelta and passes its refusal on.
TEST(DeltaBlob, AStoreRefusingAnInstructionGivesItsCode)
{
    MemoryDeltaIO copies, literals;
    copies.WriteDelta(4u);
    AddLiteral(literals, "q");
    for (MemoryDeltaIO* source : {&copies, &literals}) {
        KorrinTest::RefusingDeltaIO refusing;
        refusing.Refuse(KorrinTest::Call::Record);
        refusing.code = 4242;
        Refused(refusing, BlobOf(*source), 4242);
        EXPECT_EQ(refusing.Calls(KorrinTest::Call::Record), 1);
        EXPECT_EQ(refusing.GetDeltaCount(), 0u);
    }
}

} // namespace
