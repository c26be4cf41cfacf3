// Reads a delta's instructions back, and replays them against the old file's bytes, so that
// tests can check what delta generation wrote without the rebuilding code.
#ifndef KORRIN_TESTS_SUPPORT_DELTAREPLAY_H
#define KORRIN_TESTS_SUPPORT_DELTAREPLAY_H

#include <string>
#include <vector>

#include <Vantrel/IDeltaIO.h>

namespace KorrinTest {

// One instruction: a copy of block `block`, or (block == -1) the literal `bytes`.
struct Instruction {
    long long block;
    std::string bytes;
    bool operator==(const Instruction& other) const { return block == other.block && bytes == other.bytes; }
};

inline Instruction Copy(long long block)
{
    return {block, std::string()};
}

inline Instruction Literal(const std::string& bytes)
{
    return {-1, bytes};
}

inline std::ostream& operator<<(std::ostream& out, const Instruction& instruction)
{
    return instruction.block >= 0 ? out << "copy " << instruction.block
                                  : out << "literal \"" << instruction.bytes << '"';
}

inline std::vector<Instruction> InstructionsOf(Halvorn::Vantrel::IDeltaIO& store)
{
    std::vector<Instruction> out;
    void* cursor = nullptr;
    boost::shared_ptr<Halvorn::Vantrel::DeltaEntry> entry;
    while (store.ReadDelta(&cursor, entry) == 0) {
        if (entry->type == Halvorn::Vantrel::DigestDelta) {
            out.push_back(Copy(static_cast<const Halvorn::Vantrel::DigestDeltaEntry&>(*entry).blockIndex));
        } else {
            const auto& literal = static_cast<const Halvorn::Vantrel::BufferDeltaEntry&>(*entry);
            out.push_back(
                Literal(std::string(reinterpret_cast<const char*>(literal.buffer), literal.length)));
        }
    }
    return out;
}

inline std::string Replay(const std::vector<Instruction>& instructions, const std::string& old,
                          std::size_t window)
{
    std::string out;
    for (const Instruction& instruction : instructions) {
        if (instruction.block < 0)
            out += instruction.bytes;
        else if (static_cast<std::size_t>(instruction.block) * window < old.size())
            out += old.substr(static_cast<std::size_t>(instruction.block) * window, window);
    }
    return out;
}

} // namespace KorrinTest

#endif
