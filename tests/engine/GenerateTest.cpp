// What the engine generates, where a round trip could not tell: signatures against their
// definition; the instructions delta generation chooses (those of a plain search: matches
// greedy and leftmost, literal runs of a window, the short last block matched only at the very
// end, a block that occurs twice named by its first index), a checksum hit whose MD5 differs
// taken for a miss. Round trips are in RoadTest.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/Stores.h"

namespace {

using namespace Halvorn::Vantrel;
using namespace KorrinTest;

// A store of a class derived from the library's own, which could answer lookups otherwise:
// delta generation takes the plain path for it, a lookup through the interface and an MD5
// stream per window, where the library's own store gets its lookups inline, windows scanned
// in vector registers and candidates confirmed in batches.
class DerivedSignature : public MemoryDigestIO {};

class GenerateTest : public ::testing::Test {
protected:
    // Signs `bytes` with window `window` and checks the whole signature against the definition:
    // the caller's version, the file's size, time (in seconds since 1970) and SHA-1, and block i
    // for bytes i*W onwards under their own checksum and MD5. Answers its groups.
    Groups ExpectSignatureOf(const std::string& bytes, std::uint32_t window)
    {
        const std::wstring path = dir.Put(L"old.bin", bytes);
        const auto clock = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(dir.NativePath(L"old.bin"), clock - std::chrono::hours(50));
        MemoryDigestIO store, expected;
        store.WriteVersion(7);
        FileDigest digest(&store);
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(path, digest), RESULT_OK);
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const std::int64_t time = PropertiesOf(store).time;
        EXPECT_NEAR(double(time),
                    double(std::chrono::duration_cast<std::chrono::seconds>(now).count() - 50 * 3600), 5.0);
        EXPECT_EQ(PropertiesOf(store), (DeltaProperties{7, window, bytes.size(), time, Sha1Of(bytes)}));
        for (std::size_t at = 0; at < bytes.size(); at += window) {
            const std::string block = bytes.substr(at, window);
            expected.WriteDigest(static_cast<std::uint32_t>(at / window), ChecksumOf(block), Md5Of(block));
        }
        EXPECT_EQ(GroupsOf(store), GroupsOf(expected));
        return GroupsOf(store);
    }

    // Signs `old` with window `window` (version 1), then makes the delta of `now` against it.
    // A `claimed` window other than 0 replaces the signature's before the delta is made.
    Instructions DeltaOf(const std::string& old, const std::string& now, std::uint32_t window,
                         bool derived = false, std::uint32_t claimed = 0)
    {
        MemoryDigestIO own;
        DerivedSignature plain;
        FileDigest digest(derived ? &plain : &own);
        digest.SetVersion(1);
        engine.SetWindowSize(window);
        EXPECT_EQ(engine.GenerateFileDigest(dir.Put(L"old.bin", old), digest), RESULT_OK);
        if (claimed != 0)
            digest.SetWindowSize(claimed);
        delta = MemoryDeltaIO();
        FileDelta out(&delta);
        EXPECT_EQ(engine.GenerateFileDelta(dir.Put(L"new.bin", now), digest, out), RESULT_OK);
        return InstructionsOf(delta);
    }

    TempDir dir;
    Korrin engine;
    MemoryDeltaIO delta;
};

TEST_F(GenerateTest, SignaturesOfWholeAndPartialBlocks)
{
    const std::string bytes = PatternBytes(3 * 1024 + 100, 3);
    ExpectSignatureOf("", 4);
    ExpectSignatureOf(bytes.substr(0, 3 * 1024), 1024); // k*W: ends on a read of 0 bytes
    ExpectSignatureOf(bytes, 1024);                     // k*W + r: a short last block
    ExpectSignatureOf(bytes, 1);
    ExpectSignatureOf(bytes, 5000);                 // one block shorter than the window
    ExpectSignatureOf(std::string(4096, 'z'), 512); // every block equal: one group
    // Blocks "abcd", "efgh" and "ij": the short last block is checksummed over its two bytes,
    // A = 105 + 106, B = 105 + 211.
    EXPECT_EQ(std::get<0>(ExpectSignatureOf("abcdefghij", 4).at(0)), 0x013C00D3u);
}

TEST_F(GenerateTest, WorkedExamplesAndEdgeFiles)
{
    // Swapping a rising pair of neighbours keeps the plain sum and raises the weighted one by
    // one; swapping a falling pair lowers it by one again: another block, the same checksum.
    const std::string block = "abcdefhg";
    const std::string twin = "bacdefgh";
    ASSERT_EQ(ChecksumOf(block), ChecksumOf(twin));
    const std::string old = "abcdefghij"; // blocks "abcd", "efgh", "ij"
    const struct {
        std::string old, now;
        std::uint32_t window;
        Instructions expected;
    } cases[] = {
        {old, "abcdefghij", 4, {Copy(0), Copy(1), Copy(2)}},
        {old, "Xabcdefghij", 4, {Literal("X"), Copy(0), Copy(1), Copy(2)}},
        {old, "abcdXefghij", 4, {Copy(0), Literal("X"), Copy(1), Copy(2)}},
        {old, "ij", 4, {Copy(2)}},
        {old, "efghijabcd", 4, {Copy(1), Literal("ij"), Copy(0)}}, // the short block in mid-file is no match
        {old, "Xij", 4, {Literal("X"), Copy(2)}},                  // at the end, after the window shrank
        {"0123456789", "", 4, {}},
        {"", "0123456789", 4, {Literal("0123456789")}}, // against an empty file the new one travels whole
        {"abc", "abc", 4, {Copy(0)}},                   // shorter than the window
        {block, twin + block, 8, {Literal(twin), Copy(0)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeltaOf(c.old, c.now, c.window), c.expected) << c.old << " -> " << c.now;
        // Version and window come from the signature, also when the old file is empty; size,
        // time and SHA-1 are the new file's, its time as signing it records it.
        MemoryDigestIO ofNew;
        FileDigest digest(&ofNew);
        ASSERT_EQ(engine.GenerateFileDigest(dir.Path(L"new.bin"), digest), RESULT_OK);
        DeltaProperties expected = PropertiesOf(ofNew);
        expected.version = 1;
        EXPECT_EQ(PropertiesOf(delta), expected);
    }
}

// A signature may claim a window of up to 2^31 - 1 bytes whatever its blocks: delta generation
// then takes memory by the new file, a few bytes or 3 MiB, not by the claim.
TEST_F(GenerateTest, AHugeWindowTakesMemoryByTheNewFile)
{
    RefuseAllocationsFrom limit(64u << 20);
    EXPECT_EQ(DeltaOf("abc", "Xabc", 4, false, 0x7FFFFFFFu), (Instructions{Literal("X"), Copy(0)}));
    const std::string large = PatternBytes(3u << 20, 4);
    EXPECT_EQ(DeltaOf("abc", large + "abc", 4, false, 0x7FFFFFFFu), (Instructions{Literal(large), Copy(0)}));
}

// The instructions of the plain search, position after position, for the first block with the
// window's bytes, the window shrinking at the end of the file; the bytes between copies in
// literals of a window each, the last of them shorter.
Instructions PlainSearch(const std::string& old, const std::string& now, std::size_t window)
{
    Instructions out;
    std::size_t run = 0; // where the pending literal run starts
    auto flush = [&](std::size_t end) {
        for (; run < end; run += std::min(window, end - run))
            out.push_back(Literal(now.substr(run, std::min(window, end - run))));
    };
    for (std::size_t at = 0; at < now.size();) {
        const std::size_t length = std::min(window, now.size() - at);
        long long found = -1;
        for (std::size_t b = 0; b * window < old.size() && found < 0; ++b)
            if (std::min(window, old.size() - b * window) == length &&
                old.compare(b * window, length, now, at, length) == 0)
                found = static_cast<long long>(b);
        if (found < 0) {
            ++at;
            continue;
        }
        flush(at);
        out.push_back(Copy(found));
        run = at += length;
    }
    flush(now.size());
    return out;
}

// The instructions are those of the plain search, on either path: over old blocks planted in
// random bytes near and far apart, some with a byte changed, so that the fast pass over
// unmatched positions meets blocks all along its chunks and at their edges, and the file window
// refills; the old file's short last block at the very end. Over bytes of every value, and of
// two (many checksums in common, blocks that repeat, a filter that rules out little).
TEST_F(GenerateTest, InstructionsAreThoseOfThePlainSearch)
{
    std::mt19937 random(23);
    for (const unsigned alphabet : {256u, 2u}) {
        for (const std::size_t window : {1u, 3u, 5u, 64u, 700u, 2048u, 65536u}) {
            auto junk = [&](std::size_t n, std::string& to) {
                while (n-- > 0)
                    to += static_cast<char>(random() % alphabet);
            };
            std::string old;
            junk(window * 41 + window / 3, old);
            std::string now;
            while (now.size() < 600000) {
                junk(random() % 2 ? random() % 8 : random() % 1500, now);
                std::string block = old.substr(window * (random() % 41), window);
                if (random() % 4 == 0)
                    block[random() % block.size()] ^= 1;
                now += block;
            }
            now += old.substr(window * 41);
            const Instructions expected = PlainSearch(old, now, window);
            for (bool derived : {false, true}) {
                SCOPED_TRACE(::testing::Message() << "alphabet " << alphabet << " window " << window
                                                  << (derived ? ", derived store" : ""));
                const Instructions got = DeltaOf(old, now, static_cast<std::uint32_t>(window), derived);
                EXPECT_TRUE(got == expected)
                    << got.size() << " instructions, " << expected.size() << " expected";
            }
        }
    }
}

// Without a signature the file travels in literals of at most 65535 bytes, after what the
// store held; of the properties only the SHA-1 value is written. The composition counts them.
// The name is outside ASCII, as the stream that reads the file must spell it.
TEST_F(GenerateTest, AWholeFileTravelsInLiteralsOfAtMost65535Bytes)
{
    const DeltaProperties before{3, 9, 77, -5, Sha1Pattern(1)};
    for (std::size_t size : {0, 1, 65535, 65536, 131071}) {
        SCOPED_TRACE(size);
        const std::string bytes = PatternBytes(size, static_cast<std::uint32_t>(size));
        MemoryDeltaIO store;
        WriteProperties(store, before);
        store.WriteDelta(4u);
        FileDelta out(&store);
        ASSERT_EQ(engine.GenerateDeltaForWholeFile(dir.Put(L"\u6587.bin", bytes), out), RESULT_OK);
        Instructions expected = {Copy(4)};
        for (std::size_t at = 0; at < size; at += 65535)
            expected.push_back(Literal(bytes.substr(at, 65535)));
        EXPECT_EQ(InstructionsOf(store), expected);
        int copies = -1, literals = -1;
        std::uint64_t literalBytes = 1;
        engine.ReturnDeltaComposition(out, copies, literals, literalBytes);
        EXPECT_EQ(std::tie(copies, literals, literalBytes),
                  std::make_tuple(1, static_cast<int>((size + 65534) / 65535), std::uint64_t{size}));
        EXPECT_EQ(PropertiesOf(store), (DeltaProperties{3, 9, 77, -5, Sha1Of(bytes)}));
    }
}

} // namespace
