// Signatures read from a file or a stream must fill a store exactly as their blob does, and
// be refused wherever the blob is.
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ReadDigestFile.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using KorrinTest::LogCapture;

class ReadDigestFileTest : public ::testing::TestWithParam<bool> {
protected:
    // Reads the file `name` into `store` by its name, or from a descriptor as a stream.
    int ReadInto(IDigestIO& store, const std::wstring& name = L"signature")
    {
        if (!GetParam())
            return ReadDigestFile(dir.Path(name), store);
        Halvorn::Platform::Runtime& runtime = Halvorn::Platform::CurrentRuntime();
        const int descriptor = runtime.Open(dir.Path(name), Halvorn::Platform::OpenMode::Read);
        const int result = ReadDigestFile(descriptor, store);
        runtime.Close(descriptor);
        return result;
    }

    // Holds the reading of `bytes` to the blob reader's: the same answer and, either way,
    // the same blocks and properties; a refusal with one line naming a byte.
    void ExpectAsTheBlobReader(const std::vector<unsigned char>& bytes)
    {
        dir.WriteFile(L"signature", std::string(bytes.begin(), bytes.end()));
        MemoryDigestIO blob;
        const int expected = blob.ReadFromBlob(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        MemoryDigestIO file;
        LogCapture capture;
        ASSERT_EQ(ReadInto(file), expected);
        EXPECT_EQ(KorrinTest::BlobOf(file), KorrinTest::BlobOf(blob));
        if (expected != RESULT_OK) {
            ASSERT_EQ(capture.Texts().size(), 1u);
            EXPECT_NE(capture.Texts()[0].find(L", at byte "), std::wstring::npos);
        }
    }

    KorrinTest::TempDir dir;
};

TEST_P(ReadDigestFileTest, RandomSignaturesAndEveryTruncation)
{
    std::mt19937 random(9);
    for (int round = 0; round < 10; ++round) {
        MemoryDigestIO store;
        store.WriteVersion(1);
        store.WriteWindowSize(1 + random() % 4096);
        store.WriteFileSize(random());
        store.WriteFileModifiedTime(-static_cast<std::int64_t>(random()));
        store.WriteFileDigest(_sha1_hash{{static_cast<unsigned char>(round)}});
        // Few distinct checksums and values, so that groups share them; some signatures
        // outgrow the reader's buffer.
        const int blocks = round == 0 ? 0 : round == 9 ? 60000 : static_cast<int>(random() % 500);
        for (int b = 0; b < blocks; ++b)
            store.WriteDigest(static_cast<std::uint32_t>(b), random() % 50,
                              _md5_hash{{static_cast<unsigned char>(random() % 3)}});
        ExpectAsTheBlobReader(KorrinTest::BlobOf(store));
    }
    MemoryDigestIO small;
    small.WriteDigest(3, 258, _md5_hash{{1}});
    small.WriteDigest(5, 1, _md5_hash{{2}});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(small);
    for (std::size_t length = 0; length < blob.size(); ++length)
        ExpectAsTheBlobReader(
            std::vector<unsigned char>(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length)));
}

TEST_P(ReadDigestFileTest, OddRecordsAndRefusals)
{
    const std::vector<unsigned char> sha1 = {0x43, 1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                             11,   12, 13, 14, 15, 16, 17, 18, 19, 20};
    std::vector<unsigned char> trailing = sha1;
    trailing.insert(trailing.end(), {0x45, 0x45}); // what follows the SHA-1 record is not read
    ExpectAsTheBlobReader(trailing);
    ExpectAsTheBlobReader({0x56, 2, 0, 0, 0, 0x56, 3, 0, 0, 0});
    ExpectAsTheBlobReader({0x56, 2, 0, 0, 0, 0x58});

    // A store that holds blocks is refused; one that refuses a block passes its code on.
    dir.WriteFile(L"signature", std::string(sha1.begin(), sha1.end()));
    MemoryDigestIO holding;
    holding.WriteDigest(0, 0, _md5_hash{});
    LogCapture capture;
    EXPECT_EQ(ReadInto(holding), RESULT_FAILED);
    MemoryDigestIO source;
    source.WriteDigest(1, 2, _md5_hash{});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(source);
    dir.WriteFile(L"signature", std::string(blob.begin(), blob.end()));
    KorrinTest::RefusingDigestIO refusing;
    refusing.Refuse(KorrinTest::Call::Record);
    EXPECT_EQ(ReadInto(refusing), refusing.code);
    EXPECT_EQ(capture.Lines().size(), 2u);
}

TEST_P(ReadDigestFileTest, AFailedReadIsAFailure)
{
    MemoryDigestIO source;
    for (std::uint32_t b = 0; b < 50000; ++b)
        source.WriteDigest(b, b, _md5_hash{});
    const std::vector<unsigned char> blob = KorrinTest::BlobOf(source);
    dir.WriteFile(L"signature", std::string(blob.begin(), blob.end()));
    MemoryDigestIO store;
    KorrinTest::FaultyRuntime runtime;
    runtime.FailCall(KorrinTest::RuntimeCall::Read, EIO, 2);
    LogCapture capture;
    EXPECT_EQ(ReadInto(store), RESULT_FAILED);
    ASSERT_EQ(capture.Texts().size(), 1u);
    EXPECT_NE(capture.Texts()[0].find(L"cannot be read"), std::wstring::npos);
}

INSTANTIATE_TEST_SUITE_P(Readings, ReadDigestFileTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Stream" : "File";
                         });

} // namespace
