// The signature blob and the delta blob share their records and the rules for reading them: a
// tag, a payload of fixed size (a literal's bytes follow its length), properties in any order
// with the last of each counting, nothing read past a bad record. One harness holds both
// formats to those rules as the blob readers read them, and holds the streaming readers
// (ReadDigestFile, DeltaFileReader) to the blob readers, from a file and from a stream.
#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ReadDigestFile.h>
#include <Vantrel/ResultCodes.h>

#include "platform/Runtime.h"
#include "support/Deltas.h"
#include "support/LogCapture.h"
#include "support/Refusing.h"
#include "support/Road.h"
#include "support/TempDir.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Halvorn::Platform::CurrentRuntime;
using Bytes = std::vector<unsigned char>;

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// `size` bytes of `value`, little-endian, after `tag` unless it is 0.
Bytes Record(unsigned char tag, std::uint64_t value, int size)
{
    Bytes out;
    if (tag != 0)
        out.push_back(tag);
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<unsigned char>(value >> 8 * i));
    return out;
}
Bytes Sha1Record(const _sha1_hash& value)
{
    return Bytes{'C'} + Bytes(value.bytes, value.bytes + 20);
}
_md5_hash Md5(unsigned first)
{
    _md5_hash value;
    for (unsigned i = 0; i < 16; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
}

const DeltaProperties kExample{1, 2048, 5000, 0x0102030405060708, Sha1Pattern(0xA0)};
const Bytes kHead = Record('V', 1, 4) + Record('W', 2048, 4) + Record('F', 5000, 8);
const Bytes kTail = Record('M', 0x0102030405060708, 8) + Sha1Record(kExample.sha1);

// The length of the record at `at`, from its tag and a literal's length field; 0 for no
// record. `block` is the payload of a D record.
std::size_t LengthOf(const Bytes& blob, std::size_t at, std::size_t block)
{
    switch (blob[at]) {
    case 'V':
    case 'W':
        return 5;
    case 'F':
    case 'M':
        return 9;
    case 'C':
        return 21;
    case 'D':
        return 1 + block;
    case 'B':
        return block != 4 ? 0 : at + 5 > blob.size() ? 5 : 5 + (blob[at + 1] | blob[at + 2] << 8);
    default:
        return 0;
    }
}

// What a reading made of some bytes: its answer, its log, and what the store then held.
struct Reading {
    int result;
    Bytes content; // see each format's Content
    std::vector<std::wstring> log;
};

struct Signature {
    using Store = MemoryDigestIO;
    using Refusing = RefusingDigestIO;
    static constexpr const wchar_t* kReader = L"Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob";
    // The SHA-1 record ends a signature, which needs one; a store's refusal is the reader's own
    // failure. Cuts inside the head and tail records, and inside a block's index, checksum and MD5.
    static constexpr bool kSha1Ends = true;
    static constexpr bool kPassesStoreCode = false;
    static constexpr std::size_t kCutSites = 8;
    static constexpr std::size_t kBlock = 24;

    // Blocks out of checksum order, two of them in one group: one record per group, in
    // checksum order, carrying the group's first index.
    static void AddExample(Store& s)
    {
        s.WriteDigest(0, 300, Md5(0));
        s.WriteDigest(1, 100, Md5(1));
        s.WriteDigest(4, 50, Md5(4));
        s.WriteDigest(6, 50, Md5(4));
    }
    static Bytes ExampleBody() { return Block(4, 50, 4) + Block(1, 100, 1) + Block(0, 300, 0); }
    static Bytes Block(std::uint32_t index, std::uint32_t checksum, unsigned md5)
    {
        const _md5_hash value = Md5(md5);
        return Record('D', index, 4) + Record(0, checksum, 4) + Bytes(value.bytes, value.bytes + 16);
    }
    // Few checksums and MD5 values, so that groups of every kind arise; once, more than the
    // streaming reader's buffer holds.
    static void AddRandom(Store& s, std::mt19937& random, int round)
    {
        const int blocks = round == 5 ? 60000 : static_cast<int>(random() % 500) * (round != 0);
        for (int b = 0; b < blocks; ++b)
            s.WriteDigest(static_cast<std::uint32_t>(b), random() % 50, Md5(random() % 3));
    }
    static void AddOne(Store& s) { s.WriteDigest(0, 1, Md5(0)); }
    static std::size_t Records(Store& s) { return (s.GetDigestSize() - 49) / 25; }
    static std::size_t Size(Store& s) { return s.GetDigestSize(); }
    static Bytes Content(Store& s, bool) { return BlobOf(s); }

    static Reading Streamed(const TempDir& dir, bool stream)
    {
        Store store;
        LogCapture capture;
        Reading r;
        if (stream) {
            const int descriptor =
                CurrentRuntime().Open(dir.Path(L"blob"), Halvorn::Platform::OpenMode::Read);
            r.result = ReadDigestFile(descriptor, store);
            CurrentRuntime().Close(descriptor);
        } else {
            r.result = ReadDigestFile(dir.Path(L"blob"), store);
        }
        r.log = capture.Texts();
        EXPECT_EQ(r.log.size(), r.result == RESULT_OK ? 0u : 1u);
        r.content = BlobOf(store);
        return r;
    }
};

struct Delta {
    using Store = MemoryDeltaIO;
    using Refusing = RefusingDeltaIO;
    static constexpr const wchar_t* kReader = L"Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob";
    // A delta may end after any record; a store's refusal passes its code on. Cuts inside the
    // head and tail records, a copy, a literal's length and its bytes.
    static constexpr bool kSha1Ends = false;
    static constexpr bool kPassesStoreCode = true;
    static constexpr std::size_t kCutSites = 8;
    static constexpr std::size_t kBlock = 4;

    // An empty literal is a record like any other.
    static void AddExample(Store& s)
    {
        WriteInstructions(s, {Copy(6), Literal("abc"), Literal(""), Copy(0xFFFFFFFF)});
    }
    static Bytes ExampleBody()
    {
        return Record('D', 6, 4) + Record('B', 3, 4) + Bytes{'a', 'b', 'c'} + Record('B', 0, 4) +
               Record('D', 0xFFFFFFFF, 4);
    }
    // Now and then a literal that outgrows the streaming reader's buffer.
    static void AddRandom(Store& s, std::mt19937& random, int round)
    {
        for (int n = round == 0 ? 0 : static_cast<int>(random() % 300); n > 0; --n) {
            std::string bytes(random() % 100 == 0 ? (1 << 20) + random() % 5000 : random() % 700, '\0');
            for (char& c : bytes)
                c = static_cast<char>(random());
            WriteInstructions(s, {random() % 2 ? Copy(random()) : Literal(bytes)});
        }
    }
    static void AddOne(Store& s) { s.WriteDelta(0u); }
    static std::size_t Records(Store& s) { return s.GetDeltaCount(); }
    static std::size_t Size(Store& s) { return s.GetDeltaSize(); }
    // The instructions read, and the properties of a delta read whole: a damaged streaming
    // reader answers nothing but failures.
    static Bytes Content(IDeltaIO& read, bool accepted)
    {
        Store store;
        WriteInstructions(store, InstructionsOf(read));
        if (accepted)
            WriteProperties(store, PropertiesOf(read));
        return BlobOf(store);
    }

    static Reading Streamed(const TempDir& dir, bool stream)
    {
        const int descriptor =
            stream ? CurrentRuntime().Open(dir.Path(L"blob"), Halvorn::Platform::OpenMode::Read) : -1;
        Reading r;
        {
            DeltaFileReader reader;
            LogCapture capture;
            const bool opened =
                (stream ? reader.Attach(descriptor) : reader.Open(dir.Path(L"blob"))) == RESULT_OK;
            const Instructions delivered = opened ? InstructionsOf(reader) : Instructions();
            r.result = opened && !reader.Damaged() && capture.Lines().empty() ? RESULT_OK : RESULT_FAILED;
            r.log = capture.Texts();
            Store store;
            WriteInstructions(store, delivered);
            if (r.result == RESULT_OK) {
                WriteProperties(store, PropertiesOf(reader));
                EXPECT_EQ(reader.GetDeltaSize(), store.GetDeltaSize());
                EXPECT_EQ(reader.GetDigestDeltaCount(), store.GetDigestDeltaCount());
                EXPECT_EQ(reader.GetBufferDeltaSize(), store.GetBufferDeltaSize());
            } else {
                _sha1_hash digest;
                EXPECT_EQ(reader.ReadFileDigest(digest), RESULT_FAILED)
                    << "a damaged delta has no SHA-1 value";
            }
            r.content = BlobOf(store);
        }
        if (stream)
            CurrentRuntime().Close(descriptor);
        return r;
    }
};

template <typename Format>
class BlobRecordsTest : public ::testing::Test {
protected:
    using Store = typename Format::Store;

    // Reads from a buffer of exactly the bytes' size, so that reading past it is caught.
    static Reading Read(Store& store, const Bytes& bytes)
    {
        std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LogCapture capture;
        Reading r;
        r.result = store.ReadFromBlob(exact.get(), static_cast<std::uint32_t>(bytes.size()));
        r.log = capture.Texts();
        r.content = Format::Content(store, r.result == RESULT_OK);
        return r;
    }
    static Reading Read(const Bytes& bytes)
    {
        Store store;
        return Read(store, bytes);
    }
    // Expects one reader line with `code`, and answers its source line, to tell sites apart.
    static int Site(const Reading& r, int code = RESULT_FAILED)
    {
        EXPECT_EQ(r.result, code);
        EXPECT_TRUE(IsErrorChain(r.log, {ErrorPrefix(code, Format::kReader)}));
        return r.log.size() == 1 ? LineNumberOf(r.log[0]) : -1;
    }
    // The streaming reader accepts or refuses `bytes` as the blob reader did, with the same
    // content, and names the byte of a fault.
    void ExpectStreamedAlike(const Bytes& bytes, const Reading& blob)
    {
        dir.WriteFile(L"blob", std::string(bytes.begin(), bytes.end()));
        for (bool stream : {false, true}) {
            SCOPED_TRACE(stream ? "stream" : "file");
            const Reading r = Format::Streamed(dir, stream);
            EXPECT_EQ(r.result, blob.result);
            EXPECT_TRUE(r.content == blob.content);
            if (r.result != RESULT_OK) {
                ASSERT_FALSE(r.log.empty());
                EXPECT_NE(r.log[0].find(L", at byte "), std::wstring::npos) << r.log[0];
            }
        }
    }
    static Bytes Example()
    {
        Store store;
        WriteProperties(store, kExample);
        Format::AddExample(store);
        return BlobOf(store);
    }

    TempDir dir;
};

using Formats = ::testing::Types<Signature, Delta>;
TYPED_TEST_SUITE(BlobRecordsTest, Formats);

TYPED_TEST(BlobRecordsTest, TheWorkedExampleByteForByte)
{
    typename TypeParam::Store store;
    WriteProperties(store, kExample);
    TypeParam::AddExample(store);
    unsigned char* blob = nullptr;
    std::uint32_t size = 0;
    store.WriteToBlob(&blob, &size);
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(Bytes(blob, blob + size), kHead + TypeParam::ExampleBody() + kTail);
    EXPECT_EQ(size, TypeParam::Size(store));
    std::free(blob);
}

// Random properties and content, written, read back every way and written again: the same bytes.
TYPED_TEST(BlobRecordsTest, RandomContentReadsBackAlikeEveryWay)
{
    std::mt19937 random(17);
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE(round);
        typename TypeParam::Store store;
        const auto word = [&] { return static_cast<std::uint32_t>(random()); };
        WriteProperties(store, {word() % 3, 1 + word() % 65536, std::uint64_t{word()} << 20 | word(),
                                -std::int64_t{word()}, Sha1Pattern(static_cast<unsigned char>(round))});
        TypeParam::AddRandom(store, random, round);
        const Bytes blob = BlobOf(store);
        ASSERT_EQ(blob.size(), TypeParam::Size(store));
        const Reading read = this->Read(blob);
        ASSERT_EQ(read.result, RESULT_OK);
        ASSERT_TRUE(read.content == blob);
        this->ExpectStreamedAlike(blob, read);
    }
}

// Every prefix of a blob: where it ends between records, accepted by a delta and refused by a
// signature (it lacks the SHA-1 record), either way without a line; otherwise refused with one
// reader line. The records read before the cut stay.
TYPED_TEST(BlobRecordsTest, EveryTruncationAsEveryReaderTakesIt)
{
    const Bytes blob = this->Example();
    std::set<std::size_t> boundaries = {0};
    std::vector<std::size_t> bodyEnds;
    for (std::size_t at = 0, length; at < blob.size(); at += length) {
        length = LengthOf(blob, at, TypeParam::kBlock);
        boundaries.insert(at + length);
        if (blob[at] == 'D' || blob[at] == 'B')
            bodyEnds.push_back(at + length);
    }
    for (std::size_t length = 0; length <= blob.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes prefix(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length));
        typename TypeParam::Store store;
        const Reading read = this->Read(store, prefix);
        if (boundaries.count(length) == 0) {
            this->Site(read);
        } else {
            EXPECT_EQ(read.result, TypeParam::kSha1Ends && length < blob.size() ? RESULT_FAILED : RESULT_OK);
            EXPECT_TRUE(read.log.empty());
        }
        EXPECT_EQ(TypeParam::Records(store),
                  static_cast<std::size_t>(std::count_if(bodyEnds.begin(), bodyEnds.end(),
                                                         [&](std::size_t end) { return end <= length; })));
        this->ExpectStreamedAlike(prefix, read);
    }
    EXPECT_EQ(typename TypeParam::Store().ReadFromBlob(nullptr, 0),
              TypeParam::kSha1Ends ? RESULT_FAILED : RESULT_OK);
}

// A record cut inside, an unknown tag (one site for all), a store that holds records already,
// a store that refuses a record: each is reported from a site of its own.
TYPED_TEST(BlobRecordsTest, EachMalformationHasItsOwnReportSite)
{
    const Bytes blob = this->Example();
    std::set<int> cuts;
    for (std::size_t length = 1; length < blob.size(); ++length) {
        const Reading read =
            this->Read(Bytes(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length)));
        if (!read.log.empty())
            cuts.insert(this->Site(read));
    }
    EXPECT_EQ(cuts.size(), TypeParam::kCutSites);

    std::set<int> tags;
    for (unsigned char tag : {0x45, 0x00, 0x58, 0x41}) // E lies between the tags D and F
        tags.insert(this->Site(this->Read(Bytes{tag, 1, 2, 3, 4})));
    EXPECT_EQ(tags.size(), 1u) << "one site for unknown tags";

    typename TypeParam::Store holding;
    TypeParam::AddOne(holding);
    const int held = this->Site(this->Read(holding, blob));
    EXPECT_EQ(TypeParam::Records(holding), 1u);
    EXPECT_EQ(PropertiesOf(holding).version, 0u) << "a store that holds records reads nothing";

    typename TypeParam::Refusing refusing;
    refusing.Refuse(Call::Record);
    refusing.code = 4242;
    const int refused =
        this->Site(this->Read(refusing, blob), TypeParam::kPassesStoreCode ? 4242 : RESULT_FAILED);
    EXPECT_EQ(refusing.Calls(Call::Record), 1);
    EXPECT_EQ(TypeParam::Records(refusing), 0u);

    cuts.insert(tags.begin(), tags.end());
    cuts.insert({held, refused});
    EXPECT_EQ(cuts.size(), TypeParam::kCutSites + 3);
}

// Records take effect one by one, in any order, the last of a property counting; reading stops
// at a bad record. After the SHA-1 record a signature ends, a delta reads on.
TYPED_TEST(BlobRecordsTest, RecordsTakeEffectOneByOne)
{
    const Bytes body = TypeParam::ExampleBody();
    typename TypeParam::Store example;
    TypeParam::AddExample(example);
    const std::size_t records = TypeParam::Records(example);
    struct Case {
        const char* what;
        Bytes bytes;
        int result;
        DeltaProperties properties;
        std::size_t records;
    } cases[] = {
        {"odd order, a property twice",
         Record('M', 77, 8) + Record('V', 7, 4) + Record('V', 0x102, 4) + Record('W', 3, 4) + body +
             Sha1Record(Sha1Pattern(5)),
         RESULT_OK,
         {0x102, 3, 0, 77, Sha1Pattern(5)},
         records},
        {"nothing after a bad record",
         Record('V', 5, 4) + body + Bytes{'X'} + Record('F', 1, 8),
         RESULT_FAILED,
         {5, 0, 0, 0, {}},
         records},
        {"past the SHA-1 record", this->Example() + Bytes{0xFF, 0x00, 0x45},
         TypeParam::kSha1Ends ? RESULT_OK : RESULT_FAILED, kExample, records},
        {"a literal longer than what is left",
         Bytes{'B', 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'},
         RESULT_FAILED,
         {0, 0, 0, 0, {}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        typename TypeParam::Store store;
        const Reading read = this->Read(store, c.bytes);
        EXPECT_EQ(read.result, c.result);
        EXPECT_EQ(PropertiesOf(store), c.properties);
        EXPECT_EQ(TypeParam::Records(store), c.records);
        this->ExpectStreamedAlike(c.bytes, read);
    }
    // A record sets its own property and nothing else.
    typename TypeParam::Store preset;
    WriteProperties(preset, {9, 8, 7, 6, {}});
    EXPECT_EQ(this->Read(preset, Sha1Record(Sha1Pattern(5))).result, RESULT_OK);
    EXPECT_EQ(PropertiesOf(preset), (DeltaProperties{9, 8, 7, 6, Sha1Pattern(5)}));
}

} // namespace
