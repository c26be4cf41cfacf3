#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/Deltas.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"

namespace {

using Halvorn::Vantrel::DigestMap;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using KorrinTest::ErrorPrefix;
using KorrinTest::IsErrorChain;
using KorrinTest::LineNumberOf;
using KorrinTest::LogCapture;
using KorrinTest::Sha1Pattern;
using Bytes = std::vector<unsigned char>;

const std::wstring kReader = ErrorPrefix(RESULT_FAILED, L"Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob");

_md5_hash Md5(unsigned char first)
{
    _md5_hash value;
    for (unsigned i = 0; i < 16; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
}

Bytes BlobOf(MemoryDigestIO& store)
{
    unsigned char* blob = reinterpret_cast<unsigned char*>(1);
    std::uint32_t size = 12345;
    store.WriteToBlob(&blob, &size);
    EXPECT_NE(blob, nullptr);
    EXPECT_EQ(size, store.GetDigestSize());
    Bytes bytes(blob, blob + size);
    std::free(blob);
    return bytes;
}

// Reads `length` bytes of `blob` from a buffer of exactly that size, so that reading past it
// is caught (under AddressSanitizer).
int Read(MemoryDigestIO& store, const Bytes& blob, std::size_t length)
{
    std::unique_ptr<unsigned char[]> exact(new unsigned char[length + 1]);
    std::copy(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length), exact.get());
    return store.ReadFromBlob(exact.get(), static_cast<std::uint32_t>(length));
}

int Read(MemoryDigestIO& store, const Bytes& blob)
{
    return Read(store, blob, blob.size());
}

// Expects `blob` refused with one reader line; returns the line's source line, so that tests
// can tell report sites apart without depending on their numbers.
int Refused(MemoryDigestIO& store, const Bytes& blob)
{
    LogCapture capture;
    EXPECT_EQ(Read(store, blob), RESULT_FAILED);
    const std::vector<std::wstring> texts = capture.Texts();
    EXPECT_TRUE(IsErrorChain(texts, {kReader}));
    return texts.size() == 1 ? LineNumberOf(texts[0]) : -1;
}

void SetProperties(MemoryDigestIO& store)
{
    store.WriteVersion(1);
    store.WriteWindowSize(2048);
    store.WriteFileSize(5000);
    store.WriteFileModifiedTime(0x0102030405060708);
    store.WriteFileDigest(Sha1Pattern(0xA0));
}

TEST(SignatureBlob, TheWorkedExampleByteForByte)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(3, 258, Md5(0x10));
    const Bytes blob = BlobOf(store);
    ASSERT_EQ(blob.size(), 74u);
    Bytes expected = {0x56, 1, 0, 0, 0, 0x57, 0, 8, 0, 0, 0x46, 0x88, 0x13, 0,
                      0,    0, 0, 0, 0, 0x44, 3, 0, 0, 0, 2,    1,    0,    0};
    for (unsigned i = 0; i < 16; ++i)
        expected.push_back(static_cast<unsigned char>(0x10 + i));
    expected.insert(expected.end(), {0x4D, 8, 7, 6, 5, 4, 3, 2, 1, 0x43});
    for (unsigned i = 0; i < 20; ++i)
        expected.push_back(static_cast<unsigned char>(0xA0 + i));
    EXPECT_EQ(blob, expected);
}

TEST(SignatureBlob, OneRecordPerGroupInChecksumOrderCarryingTheFirstIndex)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 300, Md5(0));
    store.WriteDigest(1, 100, Md5(1));
    store.WriteDigest(2, 200, Md5(2));
    store.WriteDigest(4, 50, Md5(4));
    store.WriteDigest(6, 50, Md5(4)); // shares checksum and MD5 with block 4
    const Bytes blob = BlobOf(store);
    ASSERT_EQ(blob.size(), 49u + 4 * 25);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> records; // (index, checksum)
    for (std::size_t at = 19; at < 19 + 4 * 25; at += 25) {
        ASSERT_EQ(blob[at], 0x44);
        records.emplace_back(blob[at + 1] | blob[at + 2] << 8, blob[at + 5] | blob[at + 6] << 8);
    }
    EXPECT_EQ(records,
              (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{4, 50}, {1, 100}, {2, 200}, {0, 300}}));
}

// Write, read back, write again: the same bytes (properties included), and the same answers
// from both lookups.
TEST(SignatureBlob, RoundTripKeepsBytesAndAnswers)
{
    std::mt19937 random(5);
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 0, Md5(0)); // an empty block's checksum is a legal key
    for (std::uint32_t block = 1; block < 3000; ++block) {
        // Few checksums and few MD5 values, so that groups of all kinds arise.
        store.WriteDigest(block, random() % 500, Md5(static_cast<unsigned char>(random() % 3)));
    }
    const Bytes blob = BlobOf(store);
    MemoryDigestIO read;
    ASSERT_EQ(Read(read, blob), RESULT_OK);
    EXPECT_EQ(BlobOf(read), blob);

    for (std::uint32_t checksum = 0; checksum < 520; ++checksum) {
        bool a = false, b = false;
        store.Find(checksum, a);
        read.Find(checksum, b);
        ASSERT_EQ(a, b);
        for (unsigned char md5 = 0; md5 < 4; ++md5) {
            std::uint32_t ia = 0, ib = 0;
            store.Find(checksum, Md5(md5), a, ia);
            read.Find(checksum, Md5(md5), b, ib);
            ASSERT_EQ(a, b);
            ASSERT_EQ(ia, ib);
        }
    }
}

// Every prefix of a real blob is refused: with no log line where it ends on a record
// boundary (the blob simply stopped before its SHA-1 record), with one reader line otherwise.
// Blocks read before the cut stay in the store.
TEST(SignatureBlob, EveryTruncationIsRefused)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 10, Md5(1));
    store.WriteDigest(1, 20, Md5(2));
    const Bytes blob = BlobOf(store); // V@0 W@5 F@10 D@19 D@44 M@69 C@78, 99 bytes
    const std::set<std::size_t> boundaries = {0, 5, 10, 19, 44, 69, 78};

    for (std::size_t length = 0; length < blob.size(); ++length) {
        SCOPED_TRACE(length);
        LogCapture capture;
        MemoryDigestIO read;
        ASSERT_EQ(Read(read, blob, length), RESULT_FAILED);
        const std::vector<std::wstring> texts = capture.Texts();
        EXPECT_TRUE(IsErrorChain(texts, boundaries.count(length) ? std::vector<std::wstring>{}
                                                                 : std::vector<std::wstring>{kReader}));
        bool found = false;
        read.Find(10, found);
        EXPECT_EQ(found, length >= 44);
    }

    MemoryDigestIO nothing;
    LogCapture capture;
    EXPECT_EQ(nothing.ReadFromBlob(nullptr, 0), RESULT_FAILED);
    EXPECT_TRUE(capture.Lines().empty());
}

// Each way a blob can be malformed is reported from its own site: a record cut inside, an
// unknown tag (one site for all), a store that already holds blocks, a refused block.
TEST(SignatureBlob, EachMalformationHasItsOwnReportSite)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 10, Md5(1));
    const Bytes blob = BlobOf(store);

    std::vector<int> lines;
    for (unsigned char tag : {0x45, 0x41, 0x00, 0x58}) { // E lies between the tags D and F
        MemoryDigestIO fresh;
        lines.push_back(Refused(fresh, Bytes{tag, 1, 2, 3}));
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 1u) << "one site for unknown tags";

    MemoryDigestIO holding;
    holding.WriteDigest(0, 1, Md5(0));
    lines.push_back(Refused(holding, blob));
    bool found = false;
    holding.Find(10, found);
    EXPECT_FALSE(found) << "a store that holds blocks reads nothing";

    KorrinTest::RefusingDigestIO refusing;
    refusing.Refuse(KorrinTest::Call::Record);
    refusing.code = 4242; // the reader answers 32768 whatever the store said
    lines.push_back(Refused(refusing, blob));
    EXPECT_EQ(refusing.Calls(KorrinTest::Call::Record), 1);

    // Inside V, W, F, a block's index, checksum and MD5, M and C.
    for (std::size_t length : {4, 9, 18, 23, 27, 43, 52, 73}) {
        MemoryDigestIO fresh;
        lines.push_back(
            Refused(fresh, Bytes(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length))));
    }
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 11u);
}

// Records take effect one by one in any order, the last of a property counts, and the SHA-1
// record ends the blob: what follows it is not read.
TEST(SignatureBlob, RecordsInAnyOrderUpToTheSha1Record)
{
    MemoryDigestIO source;
    SetProperties(source);
    const Bytes blob = BlobOf(source); // V@0 W@5 F@10 M@19 C@28, 49 bytes
    // Two V records, then the block records of two blocks sharing a group, then the rest.
    Bytes twisted = {0x56, 7, 0, 0, 0};
    twisted.insert(twisted.end(), blob.begin(), blob.begin() + 19);
    for (unsigned char index : {5, 3}) {
        twisted.insert(twisted.end(), {0x44, index, 0, 0, 0, 9, 0, 0, 0});
        for (unsigned i = 0; i < 16; ++i)
            twisted.push_back(static_cast<unsigned char>(0x30 + i));
    }
    twisted.insert(twisted.end(), blob.begin() + 19, blob.end());
    twisted.insert(twisted.end(), {0xFF, 0x00, 0x45}); // not a record, and never looked at

    MemoryDigestIO read;
    ASSERT_EQ(Read(read, twisted), RESULT_OK);
    std::uint32_t version = 0;
    read.ReadVersion(version);
    EXPECT_EQ(version, 1u);
    DigestMap table;
    read.ReadDigest(table);
    EXPECT_EQ(table.at(9).at(0).blockIndices, (std::vector<std::uint32_t>{5, 3}));

    // A SHA-1 record alone sets that and nothing else.
    MemoryDigestIO shaOnly;
    shaOnly.WriteVersion(9);
    ASSERT_EQ(Read(shaOnly, Bytes(blob.begin() + 28, blob.end())), RESULT_OK);
    _sha1_hash value{};
    shaOnly.ReadFileDigest(value);
    EXPECT_EQ(value, Sha1Pattern(0xA0));
    shaOnly.ReadVersion(version);
    EXPECT_EQ(version, 9u);
}

} // namespace
