// Delta instructions: copy block n of the old file, or insert literal bytes. Told apart by
// `type` alone (no virtual functions), and shared through boost::shared_ptr, which must be
// made from the derived class so that the last owner destroys the object as what it is.
// Instructions never change after construction.
#ifndef VANTREL_DELTAENTRY_H
#define VANTREL_DELTAENTRY_H

#include <cstdint>
#include <cstring>

namespace Halvorn {
namespace Vantrel {

enum DeltaEntryType : std::uint32_t {
    DigestDelta = 0, // a DigestDeltaEntry
    BufferDelta = 1, // a BufferDeltaEntry
};

struct DeltaEntry {
    std::uint32_t type;
    std::uint32_t size; // payload bytes: 4 for a copy, the literal's length for a literal
};

struct DigestDeltaEntry : DeltaEntry {
    explicit DigestDeltaEntry(std::uint32_t index) : DeltaEntry{DigestDelta, 4}, blockIndex(index) {}

    std::uint32_t blockIndex; // starts at blockIndex times the delta's window size
};

struct BufferDeltaEntry : DeltaEntry {
    // Keeps its own copy of the `count` bytes at `data`.
    BufferDeltaEntry(const unsigned char* data, std::uint32_t count)
        : DeltaEntry{BufferDelta, 0}, buffer(new unsigned char[count]), length(count)
    {
        if (count != 0)
            std::memcpy(buffer, data, count);
        size = length;
    }
    ~BufferDeltaEntry() { delete[] buffer; }
    BufferDeltaEntry(const BufferDeltaEntry&) = delete;
    BufferDeltaEntry& operator=(const BufferDeltaEntry&) = delete;

    unsigned char* buffer;
    std::uint32_t length;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
