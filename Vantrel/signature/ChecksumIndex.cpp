#include "Vantrel/signature/ChecksumIndex.h"

namespace Halvorn {
namespace Vantrel {

namespace {
constexpr unsigned kSmallestLog2 = 4;
}

void ChecksumIndex::Clear()
{
    slots_.assign(std::size_t{1} << kSmallestLog2, 0);
    groups_.clear();
    shift_ = 64 - kSmallestLog2;
}

void ChecksumIndex::Reserve(std::size_t count)
{
    if (count > groups_.capacity())
        groups_.reserve(count > 2 * groups_.capacity() ? count : 2 * groups_.capacity());
    if (count * 2 <= slots_.size())
        return;
    unsigned log2 = 64 - shift_;
    while ((std::size_t{1} << log2) < count * 2)
        ++log2;
    std::vector<std::uint64_t> old(std::size_t{1} << log2, 0);
    old.swap(slots_);
    shift_ = 64 - log2;
    for (const std::uint64_t slot : old)
        if (slot != 0)
            Place(slot);
}

void ChecksumIndex::Insert(std::uint32_t checksum, const Groups* groups)
{
    Reserve(groups_.size() + 1);
    groups_.push_back(groups);
    Place(static_cast<std::uint64_t>(groups_.size()) << 32 | checksum);
}

void ChecksumIndex::Place(std::uint64_t slot)
{
    const std::size_t last = slots_.size() - 1;
    std::size_t i = Home(static_cast<std::uint32_t>(slot));
    while (slots_[i] != 0)
        i = (i + 1) & last;
    slots_[i] = slot;
}

} // namespace Vantrel
} // namespace Halvorn
