#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/Stores.h"

namespace KorrinTest {
std::atomic<std::size_t> refuseFrom{0};
}

namespace {

using KorrinTest::refuseFrom;
// Atomic: every thread of the program allocates through here, the hashing worker included.
std::atomic<std::size_t> refusedCount{0};
std::atomic<std::size_t> largeCount{0}; // requests of at least 64 KiB granted
// Called through a pointer the compiler cannot see through: with operator new inlined, it
// would take the free below for a mismatch and warn.
void (*volatile release)(void*) = std::free;

} // namespace

// For the whole test program, which links the library's objects in; it changes nothing
// unless refuseFrom is set. The nothrow forms too, which the sanitizer build would otherwise
// pair with the wrong free.
void* operator new(std::size_t size)
{
    if (refuseFrom != 0 && size >= refuseFrom) {
        ++refusedCount;
        throw std::bad_alloc();
    }
    if (size >= 65536)
        ++largeCount;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
// clang-format off
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
// clang-format on

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

// Asked with the flag preset both ways, so that an answer left unwritten shows.
bool HasChecksum(const MemoryDigestIO& store, std::uint32_t checksum)
{
    bool fromTrue = true;
    bool fromFalse = false;
    EXPECT_EQ(store.Find(checksum, fromTrue), RESULT_OK);
    EXPECT_EQ(store.Find(checksum, fromFalse), RESULT_OK);
    EXPECT_EQ(fromTrue, fromFalse);
    return fromTrue;
}

// The block the checksum-and-MD5 lookup names, or -1 when it finds none.
long long BlockOf(const MemoryDigestIO& store, std::uint32_t checksum, const _md5_hash& md5)
{
    bool found = true;
    std::uint32_t index = 0xABCDEF;
    EXPECT_EQ(store.Find(checksum, md5, found, index), RESULT_OK);
    if (found)
        return index;
    EXPECT_EQ(index, 0xABCDEFu) << "a miss must leave the block index alone";
    return -1;
}

// A new store is empty, with zero properties. Blocks group by checksum, then MD5; a group's
// blocks stand in the order written, the same block twice too, and the lookup names its first.
// Checksums are keys in ascending order, the extremes too. ReadDigest replaces the caller's map.
TEST(MemoryDigestIO, GroupsByChecksumThenMd5AndFindsTheFirstBlockWritten)
{
    MemoryDigestIO store;
    EXPECT_FALSE(HasChecksum(store, 0));
    EXPECT_EQ(BlockOf(store, 0, Md5Pattern(0)), -1);
    EXPECT_EQ(store.GetDigestSize(), 49u);
    EXPECT_EQ(PropertiesOf(store), (DeltaProperties{0, 0, 0, 0, {}}));
    for (const auto& [index, checksum, md5] : {std::tuple{0u, 100u, 1u},
                                               {1u, 100u, 2u},
                                               {9u, 0xFFFFFFFFu, 3u},
                                               {2u, 0xFFFFFFFFu, 3u},
                                               {5u, 0u, 4u},
                                               {5u, 0u, 4u}})
        store.WriteDigest(index, checksum, Md5Pattern(md5));
    EXPECT_EQ(store.GetDigestSize(), 49u + 25u * 4);
    EXPECT_EQ(GroupsOf(store), (Groups{{0, {5, 5}, Md5Pattern(4)},
                                       {100, {0}, Md5Pattern(1)},
                                       {100, {1}, Md5Pattern(2)},
                                       {0xFFFFFFFF, {9, 2}, Md5Pattern(3)}}));
    EXPECT_EQ(BlockOf(store, 100, Md5Pattern(1)), 0);
    EXPECT_EQ(BlockOf(store, 100, Md5Pattern(2)), 1);
    EXPECT_EQ(BlockOf(store, 0xFFFFFFFF, Md5Pattern(3)), 9);
    EXPECT_EQ(BlockOf(store, 100, Md5Pattern(3)), -1); // known checksum, other MD5
    EXPECT_EQ(BlockOf(store, 101, Md5Pattern(1)), -1); // known MD5, other checksum
    EXPECT_TRUE(HasChecksum(store, 0));
    EXPECT_TRUE(HasChecksum(store, 0xFFFFFFFF));
    EXPECT_FALSE(HasChecksum(store, 101));
    // The store's lookups were made while it was empty; a copy makes its own over every block.
    const MemoryDigestIO copy(store);
    EXPECT_EQ(BlockOf(copy, 0xFFFFFFFF, Md5Pattern(3)), 9);
    EXPECT_EQ(BlockOf(copy, 100, Md5Pattern(2)), 1);
}

std::vector<std::uint32_t> DistinctChecksums(std::size_t count, std::mt19937& random)
{
    std::set<std::uint32_t> seen;
    std::vector<std::uint32_t> checksums;
    while (checksums.size() < count) {
        const std::uint32_t checksum = random();
        if (seen.insert(checksum).second)
            checksums.push_back(checksum);
    }
    return checksums;
}

// Blocks `from` to `to` - 1: block i with checksums[i] and Md5Pattern(i).
void WriteBlocks(MemoryDigestIO& store, const std::vector<std::uint32_t>& checksums, std::size_t from,
                 std::size_t to)
{
    for (std::size_t block = from; block < to; ++block)
        store.WriteDigest(static_cast<std::uint32_t>(block), checksums[block], Md5Pattern(block));
}

// Both lookups answer exactly as the table: every block of `checksums[0, written)` found as
// itself, and random checksums found only when written.
void ExpectAnswersOfTable(const MemoryDigestIO& store, const std::vector<std::uint32_t>& checksums,
                          std::size_t written, std::uint32_t seed)
{
    const std::set<std::uint32_t> present(checksums.begin(),
                                          checksums.begin() + static_cast<std::ptrdiff_t>(written));
    for (std::size_t block = 0; block < written; ++block) {
        ASSERT_TRUE(HasChecksum(store, checksums[block])) << "block " << block;
        ASSERT_EQ(BlockOf(store, checksums[block], Md5Pattern(block)), static_cast<long long>(block));
    }
    std::mt19937 random(seed);
    for (int probe = 0; probe < 4000; ++probe) {
        const std::uint32_t checksum = random();
        ASSERT_EQ(HasChecksum(store, checksum), present.count(checksum) == 1) << checksum;
    }
}

// The filter and index in front of the table are made by the first lookup from the table as
// it then stands, follow the blocks written after it and are made again as they grow. Whenever
// the first lookup comes, whether a store was copied or assigned before or after it, and all
// along the growth of a large table, the answers must be the table's. Copies carry the
// properties, go their own way, and survive being assigned to themselves.
TEST(MemoryDigestIO, LookupsAnswerAsTheTableWheneverTheyCome)
{
    constexpr std::size_t kBlocks = 6000;
    const DeltaProperties properties{1, 2048, 5000000000ull, -5, Sha1Pattern(0x42)};
    std::mt19937 random(3);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(100000, random);
    for (const std::size_t firstLookup : {std::size_t{0}, std::size_t{1}, std::size_t{2500}, kBlocks}) {
        SCOPED_TRACE(firstLookup);
        MemoryDigestIO store;
        WriteProperties(store, properties);
        WriteBlocks(store, checksums, 0, firstLookup);
        MemoryDigestIO copiedBefore(store);
        MemoryDigestIO assignedBefore;
        assignedBefore.WriteDigest(0, 1, Md5Pattern(1));
        EXPECT_TRUE(HasChecksum(assignedBefore, 1)); // its own lookups made, to be replaced
        assignedBefore = store;
        EXPECT_FALSE(HasChecksum(store, 1)); // the first lookup
        MemoryDigestIO copiedAfter(store);
        MemoryDigestIO assignedAfter;
        assignedAfter = store;
        for (MemoryDigestIO* each : {&store, &copiedBefore, &assignedBefore, &copiedAfter, &assignedAfter}) {
            EXPECT_EQ(PropertiesOf(*each), properties);
            WriteBlocks(*each, checksums, firstLookup, kBlocks);
            ExpectAnswersOfTable(*each, checksums, kBlocks, 7);
        }
        copiedAfter.WriteDigest(kBlocks, checksums[kBlocks], Md5Pattern(0));
        EXPECT_FALSE(HasChecksum(store, checksums[kBlocks]));
        MemoryDigestIO& alias = copiedAfter;
        copiedAfter = alias;
        EXPECT_EQ(BlockOf(copiedAfter, checksums[kBlocks], Md5Pattern(0)), static_cast<long long>(kBlocks));
        EXPECT_EQ(copiedAfter.GetDigestSize(), 49u + 25u * (kBlocks + 1));
    }
    MemoryDigestIO growing;
    for (std::size_t from = 0, written = 1; from < checksums.size();
         from = written, written = std::min(2 * written, checksums.size())) {
        WriteBlocks(growing, checksums, from, written);
        ExpectAnswersOfTable(growing, checksums, written, static_cast<std::uint32_t>(written));
    }
}

// Without memory for their index, lookups walk the table with the same answers, never
// throwing, and make the index later once memory is back.
TEST(MemoryDigestIO, LookupsWithoutMemoryForTheirIndexWalkTheTable)
{
    std::mt19937 random(5);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(8000, random);
    MemoryDigestIO store;
    WriteBlocks(store, checksums, 0, checksums.size());
    const MemoryDigestIO copy(store); // which makes its own lookups when it needs them

    refusedCount = 0;
    refuseFrom = 32768;
    ExpectAnswersOfTable(store, checksums, checksums.size(), 6); // gtest fails a test that throws
    ExpectAnswersOfTable(copy, checksums, checksums.size(), 6);
    refuseFrom = 0;
    ASSERT_GT(refusedCount, 0u) << "nothing was refused: the lookups never ran out of memory";

    const std::size_t largeBefore = largeCount;
    ExpectAnswersOfTable(store, checksums, checksums.size(), 6);
    EXPECT_GT(largeCount, largeBefore) << "the index was not made once memory was back";
    store.WriteDigest(20000, 0x5EED, Md5Pattern(9));
    EXPECT_EQ(BlockOf(store, 0x5EED, Md5Pattern(9)), 20000);
}

// A server makes many deltas against one signature at once: threads that look up in a
// filled store together, the first lookups included, get the table's answers.
TEST(MemoryDigestIO, ThreadsLookUpTogetherFromTheFirstLookupOn)
{
    std::mt19937 random(8);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(40000, random);
    const std::set<std::uint32_t> present(checksums.begin(), checksums.end());
    MemoryDigestIO store;
    WriteBlocks(store, checksums, 0, checksums.size());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (std::size_t first = 0; first < 4; ++first) {
        threads.emplace_back([&, first] {
            for (std::size_t block = first; block < checksums.size(); block += 4) {
                bool found = false;
                std::uint32_t index = 0;
                store.Find(checksums[block], Md5Pattern(block), found, index);
                wrong += !found || index != block;
                store.Find(checksums[block] + 1, found);
                wrong += found != (present.count(checksums[block] + 1) == 1);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

} // namespace
