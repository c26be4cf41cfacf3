// A delta's content as plain values, so that tests can write, read back and compare it in one
// go: its five properties, and its instructions, which tests also replay against the old
// file's bytes to check what delta generation wrote without the rebuilding code.
#ifndef KORRIN_TESTS_SUPPORT_DELTAS_H
#define KORRIN_TESTS_SUPPORT_DELTAS_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/IDeltaIO.h>
#include <Vantrel/ResultCodes.h>

namespace KorrinTest {

// A recognisable SHA-1 value: first, first + 1, ...
inline _sha1_hash Sha1Pattern(unsigned char first)
{
    _sha1_hash value;
    for (unsigned i = 0; i < 20; ++i)
        value.bytes[i] = static_cast<unsigned char>(first + i);
    return value;
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

inline Instructions InstructionsOf(Halvorn::Vantrel::IDeltaIO& store)
{
    using namespace Halvorn::Vantrel;
    Instructions out;
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    while (store.ReadDelta(&cursor, entry) == RESULT_OK) {
        if (entry->type == DigestDelta) {
            out.push_back(Copy(static_cast<const DigestDeltaEntry&>(*entry).blockIndex));
        } else {
            const auto& literal = static_cast<const BufferDeltaEntry&>(*entry);
            out.push_back(
                Literal(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length)));
        }
    }
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

} // namespace KorrinTest

#endif
