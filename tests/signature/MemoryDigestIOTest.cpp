#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Road.h"

namespace {

// While nonzero, operator new refuses requests of at least this many bytes: enough to deny
// the store its filter and index (tens of KiB and more) but not the table's small nodes.
std::size_t refuseFrom = 0;
std::size_t refusedCount = 0;
std::size_t largeCount = 0; // requests of at least 64 KiB granted
// Called through a pointer the compiler cannot see through: with operator new inlined, it
// would take the free below for a mismatch and warn.
void (*volatile release)(void*) = std::free;

} // namespace

// For the whole test program, which links the library's objects in; it changes nothing
// unless refuseFrom is set.
void* operator new(std::size_t size)
{
    if (refuseFrom != 0 && size >= refuseFrom) {
        ++refusedCount;
        throw std::bad_alloc();
    }
    largeCount += size >= 65536;
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
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

namespace {

using Halvorn::Vantrel::DigestEntry;
using Halvorn::Vantrel::DigestMap;
using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_OK;

_md5_hash Md5(unsigned char fill)
{
    _md5_hash value;
    for (auto& b : value.bytes)
        b = fill;
    return value;
}

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
    if (!found) {
        EXPECT_EQ(index, 0xABCDEFu) << "a miss must leave the block index alone";
        return -1;
    }
    return index;
}

DigestMap TableOf(MemoryDigestIO& store)
{
    DigestMap table;
    EXPECT_EQ(store.ReadDigest(table), RESULT_OK);
    return table;
}

TEST(MemoryDigestIO, NewStoreIsEmptyWithZeroProperties)
{
    MemoryDigestIO store;
    EXPECT_FALSE(HasChecksum(store, 0));
    EXPECT_FALSE(HasChecksum(store, 0xFFFFFFFF));
    EXPECT_EQ(BlockOf(store, 0, Md5(0)), -1);
    EXPECT_TRUE(TableOf(store).empty());
    EXPECT_EQ(store.GetDigestSize(), 49u);

    std::uint32_t version = 9, window = 9;
    std::uint64_t size = 9;
    std::int64_t time = 9;
    _sha1_hash sha1;
    sha1.bytes[0] = 9;
    store.ReadVersion(version);
    store.ReadWindowSize(window);
    store.ReadFileSize(size);
    store.ReadFileModifiedTime(time);
    store.ReadFileDigest(sha1);
    EXPECT_EQ(version + window + size + time, 0u);
    EXPECT_EQ(sha1, _sha1_hash{});
}

TEST(MemoryDigestIO, GroupsByChecksumThenMd5AndFindsTheFirstRecordedBlock)
{
    MemoryDigestIO store;
    // Blocks 0 and 1: one checksum, two MD5 values, so two groups, block 0's first.
    store.WriteDigest(0, 100, Md5(1));
    store.WriteDigest(1, 100, Md5(2));
    EXPECT_EQ(store.GetDigestSize(), 99u);
    // Blocks 9 then 2 with one checksum and MD5: one group, in the order added.
    store.WriteDigest(9, 200, Md5(3));
    store.WriteDigest(2, 200, Md5(3));
    // The same block twice stands twice but counts as one group.
    store.WriteDigest(5, 300, Md5(4));
    store.WriteDigest(5, 300, Md5(4));
    EXPECT_EQ(store.GetDigestSize(), 49u + 25u * 4);

    const DigestMap table = TableOf(store);
    ASSERT_EQ(table.size(), 3u);
    ASSERT_EQ(table.at(100).size(), 2u);
    EXPECT_EQ(table.at(100)[0].blockIndices, std::vector<std::uint32_t>{0});
    EXPECT_EQ(table.at(100)[0].md5, Md5(1));
    EXPECT_EQ(table.at(100)[1].blockIndices, std::vector<std::uint32_t>{1});
    EXPECT_EQ(table.at(200).size(), 1u);
    EXPECT_EQ(table.at(200)[0].blockIndices, (std::vector<std::uint32_t>{9, 2}));
    EXPECT_EQ(table.at(300)[0].blockIndices, (std::vector<std::uint32_t>{5, 5}));

    EXPECT_EQ(BlockOf(store, 100, Md5(1)), 0);
    EXPECT_EQ(BlockOf(store, 100, Md5(2)), 1);
    EXPECT_EQ(BlockOf(store, 200, Md5(3)), 9);
    EXPECT_EQ(BlockOf(store, 200, Md5(1)), -1); // known checksum, other MD5
    EXPECT_EQ(BlockOf(store, 201, Md5(3)), -1); // known MD5, other checksum
    EXPECT_TRUE(HasChecksum(store, 200));
    EXPECT_FALSE(HasChecksum(store, 201));
}

TEST(MemoryDigestIO, ExtremeChecksumsAreOrdinaryKeysInAscendingOrder)
{
    MemoryDigestIO store;
    store.WriteDigest(0, 0xFFFFFFFF, Md5(1));
    store.WriteDigest(1, 0x80000000, Md5(1));
    store.WriteDigest(2, 0, Md5(1));
    std::vector<std::uint32_t> keys;
    for (const auto& entry : TableOf(store))
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{0, 0x80000000, 0xFFFFFFFF}));
    EXPECT_TRUE(HasChecksum(store, 0));
    EXPECT_TRUE(HasChecksum(store, 0xFFFFFFFF));
}

// The filter in front of the table may only ever shorten a miss: across its growth, every
// answer of the checksum lookup must be exactly that of the table.
TEST(MemoryDigestIO, ChecksumLookupIsExactWhileTheTableGrows)
{
    std::mt19937 random(11);
    MemoryDigestIO store;
    std::set<std::uint32_t> present;
    for (std::uint32_t block = 0; block < 100000; ++block) {
        const std::uint32_t checksum = random();
        store.WriteDigest(block, checksum, Md5(static_cast<unsigned char>(block)));
        present.insert(checksum);
        if ((block & (block - 1)) == 0) { // at every power of two, around each growth
            for (std::uint32_t known : present)
                ASSERT_TRUE(HasChecksum(store, known)) << "after " << block << " blocks";
        }
    }
    int misses = 0;
    for (int probe = 0; probe < 200000; ++probe) {
        const std::uint32_t checksum = random();
        ASSERT_EQ(HasChecksum(store, checksum), present.count(checksum) == 1);
        misses += present.count(checksum) == 0;
    }
    EXPECT_GT(misses, 199000);
    for (std::uint32_t known : present)
        ASSERT_TRUE(HasChecksum(store, known));
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

// Blocks `from` to `to` - 1: block i with checksums[i] and Md5(i).
void WriteBlocks(MemoryDigestIO& store, const std::vector<std::uint32_t>& checksums, std::size_t from, std::size_t to)
{
    for (std::size_t block = from; block < to; ++block)
        store.WriteDigest(static_cast<std::uint32_t>(block), checksums[block], Md5(static_cast<unsigned char>(block)));
}

// Both lookups answer exactly as the table: every block written found as itself, checksums
// never written not found.
void ExpectAnswersOfTable(const MemoryDigestIO& store, const std::vector<std::uint32_t>& checksums,
                          std::mt19937& random)
{
    const std::set<std::uint32_t> present(checksums.begin(), checksums.end());
    for (std::size_t block = 0; block < checksums.size(); ++block) {
        ASSERT_TRUE(HasChecksum(store, checksums[block])) << "block " << block;
        ASSERT_EQ(BlockOf(store, checksums[block], Md5(static_cast<unsigned char>(block))),
                  static_cast<long long>(block));
    }
    for (int probe = 0; probe < 20000; ++probe) {
        const std::uint32_t checksum = random();
        ASSERT_EQ(HasChecksum(store, checksum), present.count(checksum) == 1) << checksum;
    }
}

// The filter and index are made by the first lookup from the table as it then stands, and
// follow the blocks written after it. Whenever the first lookup comes, and whether a store
// was copied or assigned before or after it, the answers must be the table's.
TEST(MemoryDigestIO, LookupsAnswerAsTheTableWheneverTheFirstOneComes)
{
    constexpr std::size_t kBlocks = 6000;
    std::mt19937 random(3);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(kBlocks, random);
    for (const std::size_t firstLookup : {std::size_t{0}, std::size_t{1}, std::size_t{2500}, kBlocks}) {
        SCOPED_TRACE(firstLookup);
        MemoryDigestIO store;
        WriteBlocks(store, checksums, 0, firstLookup);
        MemoryDigestIO copiedBefore(store);
        MemoryDigestIO assignedBefore;
        assignedBefore.WriteDigest(0, 1, Md5(1));
        EXPECT_TRUE(HasChecksum(assignedBefore, 1)); // its own lookups made, to be replaced
        assignedBefore = store;
        EXPECT_FALSE(HasChecksum(store, 1)); // the first lookup
        MemoryDigestIO copiedAfter(store);
        MemoryDigestIO assignedAfter;
        assignedAfter = store;

        for (MemoryDigestIO* each : {&store, &copiedBefore, &assignedBefore, &copiedAfter, &assignedAfter}) {
            WriteBlocks(*each, checksums, firstLookup, kBlocks);
            std::mt19937 probes(7);
            ExpectAnswersOfTable(*each, checksums, probes);
        }
    }
}

// Without memory for the filter and index, lookups walk the table with the same answers,
// never throwing, and make them later once memory is back.
TEST(MemoryDigestIO, LookupsWithoutMemoryForTheirIndexWalkTheTable)
{
    std::mt19937 random(5);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(20000, random);
    MemoryDigestIO store;
    WriteBlocks(store, checksums, 0, checksums.size());
    const MemoryDigestIO copy(store); // which makes its own lookups when it needs them

    refusedCount = 0;
    refuseFrom = 32768;
    std::mt19937 probes(6);
    ExpectAnswersOfTable(store, checksums, probes); // gtest fails a test that throws
    ExpectAnswersOfTable(copy, checksums, probes);
    refuseFrom = 0;
    ASSERT_GT(refusedCount, 0u) << "nothing was refused: the lookups never ran out of memory";

    const std::size_t largeBefore = largeCount;
    ExpectAnswersOfTable(store, checksums, probes);
    EXPECT_GT(largeCount, largeBefore) << "the filter and index were not made once memory was back";
    store.WriteDigest(20000, 0x5EED, Md5(9));
    EXPECT_EQ(BlockOf(store, 0x5EED, Md5(9)), 20000);
}

// A server makes many deltas against one signature at once: threads that look up in a
// filled store together, the first lookups included, get the table's answers.
TEST(MemoryDigestIO, ThreadsLookUpTogetherFromTheFirstLookupOn)
{
    std::mt19937 random(8);
    const std::vector<std::uint32_t> checksums = DistinctChecksums(40000, random);
    MemoryDigestIO store;
    WriteBlocks(store, checksums, 0, checksums.size());
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (std::size_t first = 0; first < 4; ++first) {
        threads.emplace_back([&, first] {
            for (std::size_t block = first; block < checksums.size(); block += 4) {
                bool found = false;
                std::uint32_t index = 0;
                store.Find(checksums[block], Md5(static_cast<unsigned char>(block)), found, index);
                wrong += !found || index != block;
                store.Find(checksums[block] + 1, found);
                wrong += found && std::find(checksums.begin(), checksums.end(), checksums[block] + 1) == checksums.end();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(MemoryDigestIO, CopiesAreDeepAndCarryTheProperties)
{
    MemoryDigestIO source;
    source.WriteVersion(1);
    source.WriteWindowSize(2048);
    source.WriteFileSize(5000000000ull);
    source.WriteFileModifiedTime(-5);
    _sha1_hash sha1{};
    sha1.bytes[19] = 0x42;
    source.WriteFileDigest(sha1);
    source.WriteDigest(0, 10, Md5(1));

    const std::vector<unsigned char> blob = KorrinTest::BlobOf(source);

    MemoryDigestIO copy(source);
    MemoryDigestIO assigned;
    assigned.WriteDigest(7, 70, Md5(7));
    assigned = source;
    for (MemoryDigestIO* store : {&copy, &assigned}) {
        EXPECT_EQ(KorrinTest::BlobOf(*store), blob) << "the same properties and blocks";
        EXPECT_EQ(BlockOf(*store, 10, Md5(1)), 0);
        EXPECT_FALSE(HasChecksum(*store, 70)); // the assigned store's own block is gone
        store->WriteDigest(1, 20, Md5(2));
    }
    EXPECT_FALSE(HasChecksum(source, 20));
    EXPECT_EQ(source.GetDigestSize(), 74u);

    assigned = assigned; // self-assignment keeps everything
    EXPECT_EQ(BlockOf(assigned, 20, Md5(2)), 1);
    EXPECT_EQ(assigned.GetDigestSize(), 99u);
}

TEST(MemoryDigestIO, ReadDigestReplacesWhatTheCallersMapHeld)
{
    MemoryDigestIO store;
    store.WriteDigest(3, 30, Md5(3));
    DigestMap table;
    table[99].push_back(DigestEntry{{1}, Md5(9)});
    ASSERT_EQ(store.ReadDigest(table), RESULT_OK);
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table.at(30)[0].blockIndices, std::vector<std::uint32_t>{3});
}

} // namespace
