#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/RefusingDigestIO.h"

namespace {

using Halvorn::Vantrel::DigestMap;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using KorrinTest::IsErrorLine;
using KorrinTest::LogCapture;
using Bytes = std::vector<unsigned char>;

const std::wstring kReader = L"Error 32768 at func: Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob";

_md5_hash Md5(unsigned char first)
{
    _md5_hash value;
    for (unsigned i = 0; i < 16; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
}

_sha1_hash Sha1(unsigned char first)
{
    _sha1_hash value;
    for (unsigned i = 0; i < 20; ++i)
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

void SetProperties(MemoryDigestIO& store)
{
    store.WriteVersion(1);
    store.WriteWindowSize(2048);
    store.WriteFileSize(5000);
    store.WriteFileModifiedTime(0x0102030405060708);
    store.WriteFileDigest(Sha1(0xA0));
}

// The source line of a reader report, so that tests can tell the failure sites apart
// without depending on their numbers.
int LineOf(const std::wstring& text)
{
    return std::stoi(text.substr(text.rfind(L' ') + 1));
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

    MemoryDigestIO read;
    ASSERT_EQ(read.ReadFromBlob(blob.data(), static_cast<std::uint32_t>(blob.size())), RESULT_OK);
    DigestMap table;
    read.ReadDigest(table);
    EXPECT_EQ(table.at(50).at(0).blockIndices, std::vector<std::uint32_t>{4});
}

// Write, read back, write again: the same bytes, and the same answers from both lookups.
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
    ASSERT_EQ(read.ReadFromBlob(blob.data(), static_cast<std::uint32_t>(blob.size())), RESULT_OK);
    EXPECT_EQ(BlobOf(read), blob);

    std::uint32_t version = 0, window = 0;
    std::uint64_t size = 0;
    std::int64_t time = 0;
    _sha1_hash sha1{};
    read.ReadVersion(version);
    read.ReadWindowSize(window);
    read.ReadFileSize(size);
    read.ReadFileModifiedTime(time);
    read.ReadFileDigest(sha1);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(window, 2048u);
    EXPECT_EQ(size, 5000u);
    EXPECT_EQ(time, 0x0102030405060708);
    EXPECT_EQ(sha1, Sha1(0xA0));

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

TEST(SignatureBlob, EmptyStoreAndPartialBlobs)
{
    MemoryDigestIO empty;
    SetProperties(empty);
    const Bytes blob = BlobOf(empty);
    ASSERT_EQ(blob.size(), 49u);
    const Bytes tags = {blob[0], blob[5], blob[10], blob[19], blob[28]};
    EXPECT_EQ(tags, (Bytes{0x56, 0x57, 0x46, 0x4D, 0x43}));

    MemoryDigestIO read;
    ASSERT_EQ(read.ReadFromBlob(blob.data(), 49), RESULT_OK);
    EXPECT_EQ(BlobOf(read), blob);

    // A SHA-1 record alone sets that and nothing else; what follows it is not read.
    MemoryDigestIO shaOnly;
    shaOnly.WriteVersion(9);
    Bytes sha(blob.begin() + 28, blob.end());
    sha.insert(sha.end(), {0xFF, 0x00, 0x45});
    ASSERT_EQ(shaOnly.ReadFromBlob(sha.data(), static_cast<std::uint32_t>(sha.size())), RESULT_OK);
    _sha1_hash value{};
    shaOnly.ReadFileDigest(value);
    EXPECT_EQ(value, Sha1(0xA0));
    std::uint32_t version = 0;
    shaOnly.ReadVersion(version);
    EXPECT_EQ(version, 9u);
}

// Every prefix of a real blob is refused: with no log line where it ends on a record
// boundary (the blob simply stopped before its SHA-1 record), with one reader line otherwise.
// The reader never looks past the bytes it was given (run under AddressSanitizer).
TEST(SignatureBlob, EveryTruncationIsRefused)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 10, Md5(1));
    store.WriteDigest(1, 20, Md5(2));
    const Bytes blob = BlobOf(store);
    const std::set<std::size_t> boundaries = {0, 5, 10, 19, 44, 69, 78};

    for (std::size_t length = 0; length < blob.size(); ++length) {
        // A copy of exactly `length` bytes, so that reading past it is caught.
        std::unique_ptr<unsigned char[]> exact(new unsigned char[length + 1]);
        std::copy(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length), exact.get());
        LogCapture capture;
        MemoryDigestIO read;
        ASSERT_EQ(read.ReadFromBlob(exact.get(), static_cast<std::uint32_t>(length)), RESULT_FAILED);
        if (boundaries.count(length)) {
            EXPECT_TRUE(capture.Lines().empty()) << "length " << length;
        } else {
            ASSERT_EQ(capture.Lines().size(), 1u) << "length " << length;
            EXPECT_TRUE(IsErrorLine(capture.Texts()[0], kReader)) << "length " << length;
        }
        // Blocks read before the cut stay in the store.
        bool found = false;
        read.Find(10, found);
        EXPECT_EQ(found, length >= 44) << "length " << length;
    }

    MemoryDigestIO nothing;
    LogCapture capture;
    EXPECT_EQ(nothing.ReadFromBlob(nullptr, 0), RESULT_FAILED);
    EXPECT_TRUE(capture.Lines().empty());
}

// Each way a blob can be malformed is reported from its own site.
TEST(SignatureBlob, EachMalformationHasItsOwnReportSite)
{
    MemoryDigestIO store;
    SetProperties(store);
    store.WriteDigest(0, 10, Md5(1));
    const Bytes blob = BlobOf(store); // V@0 W@5 F@10 D@19 M@44 C@53, 74 bytes

    std::vector<int> lines;
    auto refused = [&](MemoryDigestIO& target, const Bytes& bytes) {
        LogCapture capture;
        EXPECT_EQ(target.ReadFromBlob(bytes.data(), static_cast<std::uint32_t>(bytes.size())), RESULT_FAILED);
        EXPECT_EQ(capture.Lines().size(), 1u);
        if (!capture.Lines().empty()) {
            EXPECT_TRUE(IsErrorLine(capture.Texts()[0], kReader));
            lines.push_back(LineOf(capture.Texts()[0]));
        }
    };
    auto cut = [&](std::size_t length) {
        return Bytes(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length));
    };

    for (std::size_t length : {4, 9, 18, 23, 27, 43, 52, 73}) { // inside V, W, F, index, checksum, MD5, M, C
        MemoryDigestIO fresh;
        refused(fresh, cut(length));
    }
    for (unsigned char tag : {0x45, 0x41, 0x00, 0x58}) { // E lies between the tags D and F
        MemoryDigestIO fresh;
        refused(fresh, Bytes{tag, 1, 2, 3});
    }
    MemoryDigestIO holding;
    holding.WriteDigest(0, 1, Md5(0));
    refused(holding, blob);
    bool found = false;
    holding.Find(10, found);
    EXPECT_FALSE(found) << "a store that holds blocks reads nothing";

    KorrinTest::RefusingDigestIO refusing;
    refusing.refuseWriteDigestFrom = 1;
    refusing.code = 4242; // the reader answers 32768 whatever the store said
    refused(refusing, blob);
    EXPECT_EQ(refusing.writeDigestCalls, 1);

    ASSERT_EQ(lines.size(), 14u);
    // Eight truncation sites, one unknown-tag site for all four tags, the non-empty store and
    // the refused block: eleven sites in all.
    EXPECT_EQ(std::set<int>(lines.begin(), lines.end()).size(), 11u);
    EXPECT_EQ(std::set<int>(lines.begin() + 8, lines.begin() + 12).size(), 1u);
}

TEST(SignatureBlob, TheReaderTakesRecordsInAnyOrderAndTheLastPropertyCounts)
{
    MemoryDigestIO source;
    SetProperties(source);
    const Bytes blob = BlobOf(source);
    // Two V records, then the block records of two blocks sharing a group, then the rest.
    Bytes twisted = {0x56, 7, 0, 0, 0};
    twisted.insert(twisted.end(), blob.begin(), blob.begin() + 19);
    for (unsigned char index : {5, 3}) {
        twisted.insert(twisted.end(), {0x44, index, 0, 0, 0, 9, 0, 0, 0});
        for (unsigned i = 0; i < 16; ++i)
            twisted.push_back(static_cast<unsigned char>(0x30 + i));
    }
    twisted.insert(twisted.end(), blob.begin() + 19, blob.end());

    MemoryDigestIO read;
    ASSERT_EQ(read.ReadFromBlob(twisted.data(), static_cast<std::uint32_t>(twisted.size())), RESULT_OK);
    std::uint32_t version = 0;
    read.ReadVersion(version);
    EXPECT_EQ(version, 1u);
    DigestMap table;
    read.ReadDigest(table);
    EXPECT_EQ(table.at(9).at(0).blockIndices, (std::vector<std::uint32_t>{5, 3}));
}

} // namespace
