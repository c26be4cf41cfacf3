// Signatures and deltas as plain values, so that tests can write, read back and compare them
// in one go: SHA-1 values, the five properties both have, a delta's instructions (which tests
// also replay against the old file's bytes, to check what delta generation wrote without the
// rebuilding code), a signature's groups; and the whole road between two copies of a file.
#ifndef KORRIN_TESTS_SUPPORT_STORES_H
#define KORRIN_TESTS_SUPPORT_STORES_H

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "support/TempDir.h"
#include "support/TestData.h"

namespace KorrinTest {

// The SHA-1 of bytes in memory, through the library's own digest, finished, and its value;
// their rolling checksum and MD5 value.
inline Halvorn::Vantrel::SHA1Digest FinishedSha1(const std::string& bytes)
{
    Halvorn::Vantrel::SHA1Digest digest;
    digest.Append(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<std::uint32_t>(bytes.size()));
    digest.Finish();
    return digest;
}
inline _sha1_hash Sha1Of(const std::string& bytes)
{
    _sha1_hash value;
    FinishedSha1(bytes).GetDigest(value);
    return value;
}
inline std::uint32_t ChecksumOf(const std::string& bytes)
{
    Halvorn::Vantrel::Rcheck32Digest digest;
    EXPECT_EQ(digest.Start(reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<std::uint32_t>(bytes.size())),
              Halvorn::Vantrel::RESULT_OK);
    std::uint32_t value = 1;
    EXPECT_EQ(digest.GetDigest(value), Halvorn::Vantrel::RESULT_OK);
    return value;
}
inline _md5_hash Md5Of(const std::string& bytes)
{
    Halvorn::Vantrel::MD5Digest digest;
    digest.Append(reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<std::uint32_t>(bytes.size()));
    digest.Finish();
    _md5_hash value;
    digest.GetDigest(value);
    return value;
}

// Recognisable hash values: first, first + 1, ...
template <typename Value>
Value Pattern(unsigned first)
{
    Value value;
    for (unsigned i = 0; i < sizeof value.bytes; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
}
inline _sha1_hash Sha1Pattern(unsigned first)
{
    return Pattern<_sha1_hash>(first);
}
inline _md5_hash Md5Pattern(unsigned first)
{
    return Pattern<_md5_hash>(first);
}

struct DeltaProperties {
    std::uint32_t version;
    std::uint32_t window;
    std::uint64_t size;
    std::int64_t time;
    _sha1_hash sha1;
    bool operator==(const DeltaProperties& o) const
    {
        return version == o.version && window == o.window && size == o.size && time == o.time &&
               sha1 == o.sha1;
    }
};

inline std::ostream& operator<<(std::ostream& out, const DeltaProperties& p)
{
    return out << "version " << p.version << " window " << p.window << " size " << p.size << " time "
               << p.time << " sha1 starting " << int(p.sha1.bytes[0]);
}

// A copy of block `block`, or (block == -1) the literal `bytes`.
struct Instruction {
    long long block;
    std::string bytes;
    bool operator==(const Instruction& other) const { return block == other.block && bytes == other.bytes; }
};
using Instructions = std::vector<Instruction>;

inline Instruction Copy(long long block)
{
    return {block, std::string()};
}
inline Instruction Literal(const std::string& bytes)
{
    return {-1, bytes};
}
inline std::ostream& operator<<(std::ostream& out, const Instruction& i)
{
    return i.block >= 0 ? out << "copy " << i.block : out << "literal \"" << i.bytes << '"';
}

// Of a delta or a signature store, whose properties are the same five.
template <typename Store>
void WriteProperties(Store& store, const DeltaProperties& p)
{
    EXPECT_EQ(store.WriteVersion(p.version), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteWindowSize(p.window), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileSize(p.size), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileModifiedTime(p.time), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.WriteFileDigest(p.sha1), Halvorn::Vantrel::RESULT_OK);
}

template <typename Store>
DeltaProperties PropertiesOf(Store& store)
{
    // Preset to values no test writes, so that a read that writes nothing shows.
    DeltaProperties p{99, 99, 99, 99, Sha1Pattern(99)};
    EXPECT_EQ(store.ReadVersion(p.version), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadWindowSize(p.window), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileSize(p.size), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileModifiedTime(p.time), Halvorn::Vantrel::RESULT_OK);
    EXPECT_EQ(store.ReadFileDigest(p.sha1), Halvorn::Vantrel::RESULT_OK);
    return p;
}

// Writes `instructions` through the store's interface: RESULT_OK or the first refusal's code.
inline int WriteInstructions(Halvorn::Vantrel::IDeltaIO& store, const Instructions& instructions)
{
    for (const Instruction& i : instructions) {
        const int result = i.block >= 0
                               ? store.WriteDelta(static_cast<std::uint32_t>(i.block))
                               : store.WriteDelta(reinterpret_cast<const unsigned char*>(i.bytes.data()),
                                                  static_cast<std::uint32_t>(i.bytes.size()));
        if (result != Halvorn::Vantrel::RESULT_OK)
            return result;
    }
    return Halvorn::Vantrel::RESULT_OK;
}

// One instruction as a value.
inline Instruction InstructionOf(const Halvorn::Vantrel::DeltaEntry& entry)
{
    using namespace Halvorn::Vantrel;
    if (entry.type == DigestDelta)
        return Copy(static_cast<const DigestDeltaEntry&>(entry).blockIndex);
    const auto& literal = static_cast<const BufferDeltaEntry&>(entry);
    return Literal(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length));
}

// What a reading from the start delivers.
inline Instructions InstructionsOf(Halvorn::Vantrel::IDeltaIO& store)
{
    Instructions out;
    void* cursor = nullptr;
    boost::shared_ptr<Halvorn::Vantrel::DeltaEntry> entry;
    while (store.ReadDelta(&cursor, entry) == Halvorn::Vantrel::RESULT_OK)
        out.push_back(InstructionOf(*entry));
    return out;
}

// What the instructions make of `old` with blocks of `window` bytes.
inline std::string Replay(const Instructions& instructions, const std::string& old, std::size_t window)
{
    std::string out;
    for (const Instruction& i : instructions) {
        if (i.block < 0)
            out += i.bytes;
        else if (static_cast<std::size_t>(i.block) * window < old.size())
            out += old.substr(static_cast<std::size_t>(i.block) * window, window);
    }
    return out;
}

// A signature store's groups in order, each as its checksum, block indices and MD5 value. The
// map read into holds a group of its own first, which ReadDigest must replace.
using Groups = std::vector<std::tuple<std::uint32_t, std::vector<std::uint32_t>, _md5_hash>>;
inline Groups GroupsOf(Halvorn::Vantrel::MemoryDigestIO& store)
{
    Halvorn::Vantrel::DigestMap table;
    table[99].push_back(Halvorn::Vantrel::DigestEntry{{1}, _md5_hash{}});
    EXPECT_EQ(store.ReadDigest(table), Halvorn::Vantrel::RESULT_OK);
    Groups groups;
    for (const auto& [checksum, entries] : table)
        for (const Halvorn::Vantrel::DigestEntry& group : entries)
            groups.emplace_back(checksum, group.blockIndices, group.md5);
    return groups;
}

// The delta blob of `newPath` against the signature of `oldPath`, made with `window`, both
// sent as blobs as a client sends them; empty when a step fails (the test then fails on the
// step's own expectation).
inline std::string DeltaBlobThroughBlobs(const std::wstring& oldPath, const std::wstring& newPath,
                                         std::uint32_t window)
{
    using namespace Halvorn::Vantrel;
    Korrin engine;
    engine.SetWindowSize(window);
    MemoryDigestIO signature, received;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    if (engine.GenerateFileDigest(oldPath, digest) != RESULT_OK ||
        FromBlob(received, BlobOf(signature)) != RESULT_OK)
        return {};
    FileDigest theirs(&received);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    return engine.GenerateFileDelta(newPath, theirs, delta) == RESULT_OK ? BlobOf(changes) : std::string();
}

// The same for two byte strings, through scratch files in `dir` that are removed again.
inline std::string MakeDeltaBlob(const TempDir& dir, const std::string& old, const std::string& now,
                                 std::uint32_t window)
{
    const std::string blob =
        DeltaBlobThroughBlobs(dir.Put(L"delta-old.scratch", old), dir.Put(L"delta-new.scratch", now), window);
    std::filesystem::remove(dir.NativePath(L"delta-old.scratch"));
    std::filesystem::remove(dir.NativePath(L"delta-new.scratch"));
    if (blob.empty())
        throw std::runtime_error("the delta could not be made");
    return blob;
}

} // namespace KorrinTest

#endif
