#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
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
using KorrinTest::Literal;
using KorrinTest::LogCapture;
using KorrinTest::PropertiesOf;
using KorrinTest::Sha1Pattern;
using Entry = boost::shared_ptr<DeltaEntry>;
using Instructions = std::vector<Instruction>;

const unsigned char* Bytes(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

std::string TextOf(const BufferDeltaEntry& literal)
{
    return std::string(reinterpret_cast<const char*>(literal.buffer), literal.length);
}

// Reads one instruction, and describes it as DeltaReplay does.
Instruction Next(IDeltaIO& store, void*& cursor, Entry* kept = nullptr)
{
    Entry entry;
    EXPECT_EQ(store.ReadDelta(&cursor, entry), RESULT_OK);
    if (!entry)
        return Copy(-2);
    if (kept != nullptr)
        *kept = entry;
    if (entry->type == DigestDelta)
        return Copy(static_cast<const DigestDeltaEntry&>(*entry).blockIndex);
    return Literal(TextOf(static_cast<const BufferDeltaEntry&>(*entry)));
}

// The instruction objects themselves, in reading order.
std::vector<DeltaEntry*> ObjectsOf(IDeltaIO& store)
{
    std::vector<DeltaEntry*> out;
    void* cursor = nullptr;
    Entry entry;
    while (store.ReadDelta(&cursor, entry) == RESULT_OK)
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

TEST(DeltaEntry, CopiesAndLiterals)
{
    const DigestDeltaEntry copy(0xFEDCBA98);
    EXPECT_EQ(copy.type, 0u);
    EXPECT_EQ(copy.size, 4u);
    EXPECT_EQ(copy.blockIndex, 0xFEDCBA98u);

    char source[] = "literal";
    const BufferDeltaEntry literal(Bytes(source), 7);
    source[0] = 'X';
    EXPECT_EQ(literal.type, 1u);
    EXPECT_EQ(literal.size, 7u);
    EXPECT_EQ(literal.length, 7u);
    EXPECT_EQ(TextOf(literal), "literal");

    const BufferDeltaEntry empty(nullptr, 0);
    EXPECT_EQ(empty.type, 1u);
    EXPECT_EQ(empty.size, 0u);
    EXPECT_EQ(empty.length, 0u);
}

TEST(MemoryDeltaIO, CountsSizesAndProperties)
{
    MemoryDeltaIO store;
    EXPECT_EQ(store.GetDeltaCount() + store.GetDigestDeltaCount() + store.GetBufferDeltaCount(), 0u);
    EXPECT_EQ(store.GetBufferDeltaSize(), 0u);
    EXPECT_EQ(store.GetDeltaSize(), 49u);
    EXPECT_EQ(PropertiesOf(store), (DeltaProperties{0, 0, 0, 0, _sha1_hash{}}));

    ASSERT_EQ(store.WriteDelta(7u), RESULT_OK);
    ASSERT_EQ(store.WriteDelta(8u), RESULT_OK);
    ASSERT_EQ(store.WriteDelta(Bytes("0123456789"), 10), RESULT_OK);
    EXPECT_EQ(store.GetDeltaCount(), 3u);
    EXPECT_EQ(store.GetDigestDeltaCount(), 2u);
    EXPECT_EQ(store.GetBufferDeltaCount(), 1u);
    EXPECT_EQ(store.GetBufferDeltaSize(), 10u);
    EXPECT_EQ(store.GetDeltaSize(), 74u);
    EXPECT_EQ(InstructionsOf(store), (Instructions{Copy(7), Copy(8), Literal("0123456789")}));

    ASSERT_EQ(store.WriteDelta(Bytes(""), 0), RESULT_OK);
    EXPECT_EQ(store.GetBufferDeltaCount(), 2u);
    EXPECT_EQ(store.GetBufferDeltaSize(), 10u);
    EXPECT_EQ(store.GetDeltaSize(), 79u);

    const DeltaProperties odd{0xFFFFFFFF, 0, 0x123456789ULL, -86400, Sha1Pattern(0x40)};
    KorrinTest::WriteProperties(store, odd);
    EXPECT_EQ(store.Finish(), RESULT_OK);
    EXPECT_EQ(PropertiesOf(store), odd);
}

TEST(MemoryDeltaIO, ReadingDeliversInOrderThenEndsUntilANewReadingStarts)
{
    MemoryDeltaIO store;
    void* cursor = nullptr;
    ExpectEndOfReading(store, cursor);

    store.WriteDelta(3u);
    store.WriteDelta(Bytes("xy"), 2);
    store.WriteDelta(5u);
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

TEST(MemoryDeltaIO, LiteralsAreCopiedAndOutliveTheirStore)
{
    Entry kept;
    {
        MemoryDeltaIO store;
        char buffer[] = "payload";
        store.WriteDelta(Bytes(buffer), 7);
        buffer[0] = 'X';
        MemoryDeltaIO copy(store);
        void* cursor = nullptr;
        EXPECT_EQ(Next(copy, cursor, &kept), Literal("payload"));
    }
    ASSERT_TRUE(kept.unique());
    EXPECT_EQ(TextOf(static_cast<const BufferDeltaEntry&>(*kept)), "payload");
}

class MemoryDeltaIOCopy : public ::testing::Test {
protected:
    MemoryDeltaIOCopy()
    {
        KorrinTest::WriteProperties(source, properties);
        source.WriteDelta(1u);
        source.WriteDelta(Bytes("abc"), 3);
        source.WriteDelta(2u);
        objects = ObjectsOf(source);
    }

    // Same counts, properties and instruction objects; then it outlives the source and
    // grows on its own.
    void ExpectFaithfulAndIndependent(MemoryDeltaIO& copy)
    {
        EXPECT_EQ(copy.GetDigestDeltaCount(), 2u);
        EXPECT_EQ(copy.GetBufferDeltaCount(), 1u);
        EXPECT_EQ(copy.GetBufferDeltaSize(), 3u);
        EXPECT_EQ(copy.GetDeltaSize(), source.GetDeltaSize());
        EXPECT_EQ(PropertiesOf(copy), properties);
        EXPECT_EQ(ObjectsOf(copy), objects) << "the copy shares the instruction objects";

        copy.WriteDelta(9u);
        EXPECT_EQ(InstructionsOf(source), (Instructions{Copy(1), Literal("abc"), Copy(2)}));
        source = MemoryDeltaIO();
        EXPECT_EQ(InstructionsOf(copy), (Instructions{Copy(1), Literal("abc"), Copy(2), Copy(9)}));
    }

    const DeltaProperties properties{4, 512, 1000, -3, Sha1Pattern(0x60)};
    MemoryDeltaIO source;
    std::vector<DeltaEntry*> objects;
};

TEST_F(MemoryDeltaIOCopy, ConstructionStartsWithoutAReading)
{
    void* cursor = nullptr;
    Next(source, cursor);
    auto copy = std::make_unique<MemoryDeltaIO>(source);
    void* carried = cursor;
    ExpectEndOfReading(*copy, carried);
    EXPECT_EQ(Next(source, cursor), Literal("abc")) << "copying leaves the source's reading alone";

    // The copy of a copy outlives both.
    MemoryDeltaIO second(*copy);
    copy.reset();
    ExpectFaithfulAndIndependent(second);
}

TEST_F(MemoryDeltaIOCopy, AssignmentReplacesEverythingAndEndsTheReading)
{
    MemoryDeltaIO copy;
    copy.WriteDelta(77u);
    copy.WriteDelta(78u);
    void* cursor = nullptr;
    Next(copy, cursor);
    copy = source;
    ExpectEndOfReading(copy, cursor);
    ExpectFaithfulAndIndependent(copy);
}

TEST_F(MemoryDeltaIOCopy, SelfAssignmentKeepsEverything)
{
    void* cursor = nullptr;
    Next(source, cursor);
    MemoryDeltaIO& alias = source;
    source = alias;
    EXPECT_EQ(Next(source, cursor), Literal("abc")) << "the reading goes on";
    EXPECT_EQ(PropertiesOf(source), properties);
    EXPECT_EQ(ObjectsOf(source), objects);
}

TEST(FileDelta, TheFileDigestTravelsAsAFinishedDigest)
{
    MemoryDeltaIO store;
    FileDelta delta(&store);
    ASSERT_EQ(delta.SetFileDigest(SHA1Digest(Sha1Pattern(0x20))), RESULT_OK);
    SHA1Digest read;
    ASSERT_EQ(delta.GetFileDigest(read), RESULT_OK);
    _sha1_hash value{};
    read.GetDigest(value);
    EXPECT_EQ(value, Sha1Pattern(0x20));
    EXPECT_EQ(read.Append(Bytes("x"), 1), RESULT_FAILED) << "a finished digest takes no more bytes";

    KorrinTest::RefusingDeltaIO refusing;
    refusing.Refuse(KorrinTest::Call::Sha1);
    refusing.code = 613;
    read = SHA1Digest(Sha1Pattern(0x50));
    LogCapture capture;
    EXPECT_EQ(FileDelta(&refusing).GetFileDigest(read), 613);
    EXPECT_TRUE(
        IsErrorChain(capture.Texts(), {ErrorPrefix(613, L"Halvorn::Vantrel::FileDelta::GetFileDigest")}));
    read.GetDigest(value);
    EXPECT_EQ(value, Sha1Pattern(0x50)) << "the caller's digest is left as it was";
}

} // namespace
