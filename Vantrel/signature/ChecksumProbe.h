// The delta generator's shortcut for the checksum lookup it makes at every byte position:
// when the signature lives in the library's own store (that very class, not one derived
// from it, whose lookups could behave otherwise), the store's lookups answer inline, without
// the two calls through the facade and the interface. The answers are the store's own.
// Making the probe makes the store's lookups if no lookup has yet, so that the per-position
// tests need not ask; without them (no memory, or blocks written since they were made) the
// probe is not available and the generator asks the store.
#ifndef VANTREL_SIGNATURE_CHECKSUMPROBE_H
#define VANTREL_SIGNATURE_CHECKSUMPROBE_H

#include <cstdint>
#include <typeinfo>

#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>

#include "Vantrel/signature/BlockIndex.h"
#include "Vantrel/signature/BlockTable.h"

namespace Halvorn {
namespace Vantrel {

class ChecksumProbe {
public:
    explicit ChecksumProbe(const FileDigest& digest) : index_(nullptr)
    {
        const IDigestIO* store = digest.GetDigestIO();
        if (store != nullptr && typeid(*store) == typeid(MemoryDigestIO))
            index_ = static_cast<const MemoryDigestIO*>(store)->table_->Index();
    }

    // Whether the shortcut is there: the signature is in the library's own store.
    bool Available() const { return index_ != nullptr; }

    // The following need the shortcut. Whether any block has this checksum, as the store's
    // Find answers it:
    bool Present(std::uint32_t checksum) const { return Possible(checksum) && Indexed(checksum); }
    // and the same in two steps: Possible rules out most absent checksums from the filter
    // alone, Indexed decides.
    bool Possible(std::uint32_t checksum) const { return index_->Possible(checksum); }
    // Possible for checksums[0 .. count - 1] at once, with vector instructions where the
    // processor has them: bit i % 64 of maybe[i / 64] for checksums[i].
    void PossibleEach(const std::uint32_t* checksums, std::uint32_t count, std::uint64_t* maybe) const
    {
        index_->PossibleEach(checksums, count, maybe);
    }
    bool Indexed(std::uint32_t checksum) const { return index_->Indexed(checksum); }
    // Starts the memory read of Indexed(checksum) without waiting for it, so that work in
    // between hides it.
    void PrepareIndexed(std::uint32_t checksum) const { index_->PrepareIndexed(checksum); }
    // The first block with both values, as the store's Find by checksum and MD5 answers.
    bool Find(std::uint32_t checksum, const _md5_hash& md5, std::uint32_t& blockIndex) const
    {
        return index_->FindBlock(checksum, md5, blockIndex);
    }

private:
    const BlockIndex* index_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
