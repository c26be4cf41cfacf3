// The signature blob and the delta blob share their records and the rules for reading them: a
// tag, a payload of fixed size (a literal's bytes follow its length), properties in any order
// with the last of each counting, nothing read past a bad record. One harness holds both
// formats to those rules as the blob readers read them, and holds the streaming readers
// (ReadDigestFile, DeltaFileReader) to the blob readers, from a file and from a stream; then
// what the two facades share, and what ReadDigestFile refuses beyond the blob reader.
#include <cerrno>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"
#include "support/Faults.h"
#include "support/LogCapture.h"
#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;
using Halvorn::Platform::CurrentRuntime;
using Bytes = std::string;

Bytes Join(const std::vector<Bytes>& records)
{
    return std::accumulate(records.begin(), records.end(), Bytes());
}
// `size` bytes of `value`, little-endian, after `tag` unless it is 0.
Bytes Record(char tag, std::uint64_t value, int size)
{
    Bytes out(tag != 0, tag);
    for (int i = 0; i < size; ++i)
        out += static_cast<char>(value >> 8 * i);
    return out;
}
template <typename Value>
Bytes Of(const Value& value)
{
    return Bytes(reinterpret_cast<const char*>(value.bytes), sizeof value.bytes);
}

const DeltaProperties kExample{1, 2048, 5000, 0x0102030405060708, Sha1Pattern(0xA0)};
const std::vector<Bytes> kHead = {Record('V', 1, 4), Record('W', 2048, 4), Record('F', 5000, 8)};
const std::vector<Bytes> kTail = {Record('M', 0x0102030405060708, 8), "C" + Of(kExample.sha1)};

// What a reading made of some bytes: its answer, its content (see each format's Content), its log.
struct Reading {
    int result;
    Bytes content;
    std::vector<std::wstring> log;
};

// The test's blob for a streaming reader: by name, or as a stream through a descriptor.
struct Input {
    Input(const TempDir& dir, bool stream)
        : path(dir.Path(L"blob")),
          opened(stream ? CurrentRuntime().Open(path, Halvorn::Platform::OpenMode::Read) : -1)
    {
    }
    const std::wstring path;
    const Halvorn::ScopedFileDescriptor opened;
};

struct Signature {
    using Store = MemoryDigestIO;
    using Refusing = RefusingDigestIO;
    using File = FileDigest;
    static constexpr const wchar_t* kReader = L"Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob";
    static constexpr const wchar_t* kGetDigest = L"Halvorn::Vantrel::FileDigest::GetFileDigest";
    // The SHA-1 record ends a signature, which needs one; a store's refusal is the reader's own
    // failure. Cuts inside the head and tail records, and inside a block's index, checksum and MD5.
    static constexpr bool kSha1Ends = true;
    static constexpr bool kPassesStoreCode = false;
    static constexpr std::size_t kCutSites = 8;

    // Blocks out of checksum order, two of them in one group: one record per group, in
    // checksum order, carrying the group's first index.
    static void AddExample(Store& s)
    {
        for (const auto& [index, checksum, md5] :
             {std::tuple{0u, 300u, 0u}, {1u, 100u, 1u}, {4u, 50u, 4u}, {6u, 50u, 4u}})
            s.WriteDigest(index, checksum, Md5Pattern(md5));
    }
    static std::vector<Bytes> ExampleBody() { return {Block(4, 50, 4), Block(1, 100, 1), Block(0, 300, 0)}; }
    static Bytes Block(std::uint32_t index, std::uint32_t checksum, unsigned md5)
    {
        return Record('D', index, 4) + Record(0, checksum, 4) + Of(Md5Pattern(md5));
    }
    // Few checksums and MD5 values, so that groups of every kind arise; once, more than the
    // streaming reader's buffer holds.
    static void AddRandom(Store& s, std::mt19937& random, int round)
    {
        const int blocks = round == 5 ? 60000 : static_cast<int>(random() % 500) * (round != 0);
        for (int b = 0; b < blocks; ++b)
            s.WriteDigest(static_cast<std::uint32_t>(b), random() % 50, Md5Pattern(random() % 3));
    }
    static void AddOne(Store& s) { s.WriteDigest(0, 1, Md5Pattern(0)); }
    static std::size_t Records(Store& s) { return (s.GetDigestSize() - 49) / 25; }
    static std::size_t Size(Store& s) { return s.GetDigestSize(); }
    static Bytes Content(Store& s, bool) { return BlobOf(s); }
    static void ExpectWrittenAlike(const TempDir&, Store&, const Bytes&) {}
    static Reading Streamed(const Input& input)
    {
        Store store;
        LogCapture capture;
        const int result = input.opened.Get() >= 0 ? ReadDigestFile(input.opened.Get(), store)
                                                   : ReadDigestFile(input.path, store);
        EXPECT_EQ(capture.Lines().size(), result == RESULT_OK ? 0u : 1u);
        return {result, BlobOf(store), capture.Texts()};
    }
};

struct Delta {
    using Store = MemoryDeltaIO;
    using Refusing = RefusingDeltaIO;
    using File = FileDelta;
    static constexpr const wchar_t* kReader = L"Halvorn::Vantrel::MemoryDeltaIO::ReadFromBlob";
    static constexpr const wchar_t* kGetDigest = L"Halvorn::Vantrel::FileDelta::GetFileDigest";
    // A delta may end after any record; a store's refusal passes its code on. Cuts inside the
    // head and tail records, a copy, a literal's length and its bytes.
    static constexpr bool kSha1Ends = false;
    static constexpr bool kPassesStoreCode = true;
    static constexpr std::size_t kCutSites = 8;

    // An empty literal is a record like any other.
    static void AddExample(Store& s)
    {
        WriteInstructions(s, {Copy(6), Literal("abc"), Literal(""), Copy(0xFFFFFFFF)});
    }
    static std::vector<Bytes> ExampleBody()
    {
        return {Record('D', 6, 4), Record('B', 3, 4) + "abc", Record('B', 0, 4), Record('D', 0xFFFFFFFF, 4)};
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
    // The instructions read, and the properties of a delta read whole (`from`): a damaged
    // streaming reader answers nothing but failures.
    static Bytes Content(const Instructions& instructions, IDeltaIO* from)
    {
        Store store;
        WriteInstructions(store, instructions);
        if (from != nullptr)
            WriteProperties(store, PropertiesOf(*from));
        return BlobOf(store);
    }
    static Bytes Content(Store& s, bool accepted)
    {
        return Content(InstructionsOf(s), accepted ? &s : nullptr);
    }
    // The streaming writer writes the blob's bytes, and counts what it wrote.
    static void ExpectWrittenAlike(const TempDir& dir, Store& store, const Bytes& blob)
    {
        DeltaFileWriter writer;
        ASSERT_EQ(writer.Create(dir.Path(L"written")), RESULT_OK);
        WriteProperties(writer, PropertiesOf(store));
        ASSERT_EQ(WriteInstructions(writer, InstructionsOf(store)), RESULT_OK);
        ASSERT_EQ(writer.Finish(), RESULT_OK);
        EXPECT_TRUE(dir.ReadFile(L"written") == blob);
        EXPECT_EQ(writer.Tally().bytes, blob.size());
        EXPECT_EQ(writer.GetDeltaSize(), store.GetDeltaSize());
        EXPECT_EQ(writer.GetBufferDeltaSize(), store.GetBufferDeltaSize());
        EXPECT_EQ(writer.GetDigestDeltaCount(), store.GetDigestDeltaCount());
        EXPECT_EQ(writer.GetBufferDeltaCount(), store.GetBufferDeltaCount());
    }
    static Reading Streamed(const Input& input)
    {
        DeltaFileReader reader;
        LogCapture capture;
        const bool opened = (input.opened.Get() >= 0 ? reader.Attach(input.opened.Get())
                                                     : reader.Open(input.path)) == RESULT_OK;
        const Instructions delivered = opened ? InstructionsOf(reader) : Instructions();
        const bool accepted = opened && !reader.Damaged() && capture.Lines().empty();
        const Reading r{accepted ? RESULT_OK : RESULT_FAILED,
                        Content(delivered, accepted ? &reader : nullptr), capture.Texts()};
        _sha1_hash digest;
        EXPECT_EQ(reader.ReadFileDigest(digest) == RESULT_OK, accepted)
            << "a damaged delta has no SHA-1 value";
        EXPECT_TRUE(!accepted || reader.GetDeltaSize() == r.content.size());
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
        const std::unique_ptr<unsigned char[]> exact(new unsigned char[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LogCapture capture;
        const int result = store.ReadFromBlob(exact.get(), static_cast<std::uint32_t>(bytes.size()));
        Reading r{result, {}, capture.Texts()};
        r.content = Format::Content(store, result == RESULT_OK);
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
        dir.Put(L"blob", bytes);
        for (bool stream : {false, true}) {
            SCOPED_TRACE(stream ? "stream" : "file");
            const Reading r = Format::Streamed(Input(dir, stream));
            EXPECT_EQ(r.result, blob.result);
            EXPECT_TRUE(r.content == blob.content);
            EXPECT_TRUE(r.result == RESULT_OK ||
                        (!r.log.empty() && r.log[0].find(L", at byte ") != std::wstring::npos));
        }
    }

    TempDir dir;
};

using Formats = ::testing::Types<Signature, Delta>;
TYPED_TEST_SUITE(BlobRecordsTest, Formats);

// The worked example byte for byte, and every prefix of it: where it ends between records,
// accepted by a delta and refused by a signature (it lacks the SHA-1 record), either way
// without a line; otherwise refused with one reader line. The records read before the cut
// stay. A record cut inside, an unknown tag (one site for all), a store that holds records
// already, a store that refuses a record: each is reported from a site of its own.
TYPED_TEST(BlobRecordsTest, TheWorkedExampleEveryTruncationAndEachMalformation)
{
    typename TypeParam::Store example;
    WriteProperties(example, kExample);
    TypeParam::AddExample(example);
    const Bytes blob = BlobOf(example);
    const std::vector<Bytes> body = TypeParam::ExampleBody();
    ASSERT_EQ(blob, Join(kHead) + Join(body) + Join(kTail));
    ASSERT_EQ(blob.size(), TypeParam::Size(example));

    std::set<std::size_t> boundaries = {0};
    std::vector<std::size_t> bodyEnds;
    for (const std::vector<Bytes>* part : {&kHead, &body, &kTail})
        for (const Bytes& record : *part) {
            boundaries.insert(*boundaries.rbegin() + record.size());
            if (part == &body)
                bodyEnds.push_back(*boundaries.rbegin());
        }
    std::set<int> cuts;
    for (std::size_t length = 0; length <= blob.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes prefix = blob.substr(0, length);
        typename TypeParam::Store store;
        const Reading read = this->Read(store, prefix);
        if (boundaries.count(length) == 0) {
            cuts.insert(this->Site(read));
        } else {
            EXPECT_EQ(read.result, TypeParam::kSha1Ends && length < blob.size() ? RESULT_FAILED : RESULT_OK);
            EXPECT_TRUE(read.log.empty());
        }
        std::size_t kept = 0;
        for (std::size_t end : bodyEnds)
            kept += end <= length;
        EXPECT_EQ(TypeParam::Records(store), kept);
        this->ExpectStreamedAlike(prefix, read);
    }
    EXPECT_EQ(typename TypeParam::Store().ReadFromBlob(nullptr, 0),
              TypeParam::kSha1Ends ? RESULT_FAILED : RESULT_OK);

    EXPECT_EQ(cuts.size(), TypeParam::kCutSites);
    std::set<int> tags;
    for (const char* tag : {"E", "", "X", "A"}) // E lies between the tags D and F
        tags.insert(this->Site(this->Read(Bytes(tag, 1) + "\x01\x02\x03\x04")));
    EXPECT_EQ(tags.size(), 1u) << "one site for unknown tags";
    typename TypeParam::Store holding;
    TypeParam::AddOne(holding);
    const int held = this->Site(this->Read(holding, blob));
    EXPECT_EQ(TypeParam::Records(holding), 1u);
    EXPECT_EQ(PropertiesOf(holding).version, 0u) << "a store that holds records reads nothing";
    typename TypeParam::Refusing refusing;
    refusing.Refuse(Call::Record, 4242);
    const int refused =
        this->Site(this->Read(refusing, blob), TypeParam::kPassesStoreCode ? 4242 : RESULT_FAILED);
    EXPECT_EQ(refusing.Calls(Call::Record), 1);
    EXPECT_EQ(TypeParam::Records(refusing), 0u);
    cuts.insert(tags.begin(), tags.end());
    cuts.insert({held, refused});
    EXPECT_EQ(cuts.size(), TypeParam::kCutSites + 3);
}

// Random properties and content, written, read back every way and written again: the same
// bytes, which the streaming writer writes too.
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
        TypeParam::ExpectWrittenAlike(this->dir, store, blob);
    }
}

// Records take effect one by one, in any order, the last of a property counting, each setting
// its own property only; reading stops at a bad record. After the SHA-1 record a signature
// ends, a delta reads on.
TYPED_TEST(BlobRecordsTest, RecordsTakeEffectOneByOne)
{
    const std::vector<Bytes> body = TypeParam::ExampleBody();
    const struct {
        const char* what;
        Bytes bytes;
        int result;
        DeltaProperties properties;
        std::size_t records;
    } cases[] = {
        {"odd order, a property twice",
         Join({Record('M', 77, 8), Record('V', 7, 4), Record('V', 0x102, 4), Record('W', 3, 4)}) +
             Join(body) + "C" + Of(Sha1Pattern(5)),
         RESULT_OK,
         {0x102, 3, 0, 77, Sha1Pattern(5)},
         body.size()},
        {"nothing after a bad record",
         Record('V', 5, 4) + Join(body) + "X" + Record('F', 1, 8),
         RESULT_FAILED,
         {5, 0, 0, 0, {}},
         body.size()},
        {"past the SHA-1 record", Join(kHead) + Join(body) + Join(kTail) + Bytes("\xFF\x00\x45", 3),
         TypeParam::kSha1Ends ? RESULT_OK : RESULT_FAILED, kExample, body.size()},
        {"a literal longer than what is left",
         "B\xFF\xFF\xFF\xFF"
         "ab",
         RESULT_FAILED,
         {0, 0, 0, 0, {}},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        typename TypeParam::Store store;
        const Reading read = this->Read(store, c.bytes);
        EXPECT_EQ(read.result, c.result);
        EXPECT_EQ(PropertiesOf(store), c.properties);
        EXPECT_EQ(TypeParam::Records(store), c.records);
        this->ExpectStreamedAlike(c.bytes, read);
    }
    typename TypeParam::Store preset;
    WriteProperties(preset, {9, 8, 7, 6, {}});
    EXPECT_EQ(this->Read(preset, "C" + Of(Sha1Pattern(5))).result, RESULT_OK);
    EXPECT_EQ(PropertiesOf(preset), (DeltaProperties{9, 8, 7, 6, Sha1Pattern(5)}));
}

// FileDigest and FileDelta hand the SHA-1 value over alike: in as bytes, out finished (an
// unfinished digest stores 20 zero bytes). A failing store is logged on reading only, and
// leaves the caller's digest as it was.
TYPED_TEST(BlobRecordsTest, TheFacadesHandTheSha1ValueOverFinished)
{
    typename TypeParam::Store store;
    typename TypeParam::File file(&store);
    ASSERT_EQ(file.SetFileDigest(FinishedSha1("abc")), RESULT_OK);
    SHA1Digest out;
    ASSERT_EQ(file.GetFileDigest(out), RESULT_OK);
    EXPECT_TRUE(out == FinishedSha1("abc")); // true only for a finished left side
    EXPECT_TRUE(out != FinishedSha1("abd"));
    EXPECT_EQ(out.Append(reinterpret_cast<const unsigned char*>("x"), 1), RESULT_FAILED);
    ASSERT_EQ(file.SetFileDigest(SHA1Digest()), RESULT_OK);
    EXPECT_EQ(PropertiesOf(store).sha1, _sha1_hash{});

    typename TypeParam::Refusing refusing;
    refusing.Refuse(Call::Sha1, 12345);
    typename TypeParam::File failing(&refusing);
    LogCapture capture;
    EXPECT_EQ(failing.SetFileDigest(FinishedSha1("x")), 12345);
    EXPECT_TRUE(capture.Lines().empty());
    out = FinishedSha1("kept");
    EXPECT_EQ(failing.GetFileDigest(out), 12345);
    EXPECT_TRUE(out == FinishedSha1("kept"));
    EXPECT_TRUE(IsErrorChain(capture.Texts(), {ErrorPrefix(12345, TypeParam::kGetDigest)}));
}

// What ReadDigestFile answers beyond the blob reader: a store that holds blocks is refused, one
// that refuses a block passes its code on, and a read that fails past the first buffer is
// reported: each with one line.
TEST(ReadDigestFile, RefusesFilledStoresPassesStoreCodesOnAndReportsFailedReads)
{
    TempDir dir;
    MemoryDigestIO source;
    for (std::uint32_t b = 0; b < 50000; ++b)
        source.WriteDigest(b, b, _md5_hash{});
    const std::wstring path = dir.Put(L"signature", BlobOf(source));
    LogCapture capture;
    MemoryDigestIO holding;
    holding.WriteDigest(0, 0, _md5_hash{});
    EXPECT_EQ(ReadDigestFile(path, holding), RESULT_FAILED);
    RefusingDigestIO refusing;
    refusing.Refuse(Call::Record, 7);
    EXPECT_EQ(ReadDigestFile(path, refusing), 7);
    FaultyRuntime runtime;
    runtime.FailCall(RuntimeCall::Read, EIO, 2);
    MemoryDigestIO store;
    EXPECT_EQ(ReadDigestFile(path, store), RESULT_FAILED);
    const std::vector<std::wstring> texts = capture.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find(L"holds blocks already"), std::wstring::npos) << texts[0];
    EXPECT_TRUE(IsErrorLine(texts[1], ErrorPrefix(7, L"Halvorn::Vantrel::ReadDigestFile", path)));
    EXPECT_NE(texts[2].find(L"cannot be read"), std::wstring::npos) << texts[2];
}

} // namespace
