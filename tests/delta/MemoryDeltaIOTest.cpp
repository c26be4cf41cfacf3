#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Stores.h"
#include "support/LogCapture.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Entry = boost::shared_ptr<DeltaEntry>;

const unsigned char* Bytes(const char* text)
{
    return reinterpret_cast<const unsigned char*>(text);
}

// Reads one instruction, described as Deltas.h describes it, and keeps it in `kept`.
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
    const auto& literal = static_cast<const BufferDeltaEntry&>(*entry);
    return Literal(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length));
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
        char buffer[] = "0123456789";
        ASSERT_EQ(store.WriteDelta(0xFEDCBA98u), RESULT_OK);
        ASSERT_EQ(store.WriteDelta(Bytes(buffer), 10), RESULT_OK);
        buffer[0] = 'X';
        ASSERT_EQ(store.WriteDelta(nullptr, 0), RESULT_OK);
        EXPECT_EQ(store.GetBufferDeltaCount(), 2u);
        EXPECT_EQ(InstructionsOf(store), (Instructions{Copy(0xFEDCBA98), Literal("0123456789"), Literal("")}));
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
    const auto& literal = static_cast<const BufferDeltaEntry&>(*kept);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length), "0123456789");
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

} // namespace
