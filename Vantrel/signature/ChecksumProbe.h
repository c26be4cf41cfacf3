// The delta generator's shortcut for the checksum lookup it makes at every byte position:
// when the signature lives in the library's own store (that very class, not one derived
// from it, whose lookups could behave otherwise), the store's filter and index answer
// inline, without the two calls through the facade and the interface. The answers are the
// store's own. Making the probe makes the store's filter and index if no lookup has yet, so
// that the per-position tests need not ask; without memory for them the probe is not
// available and the generator asks the store, which walks its table.
#ifndef VANTREL_SIGNATURE_CHECKSUMPROBE_H
#define VANTREL_SIGNATURE_CHECKSUMPROBE_H

#include <cstdint>
#include <typeinfo>

#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>

#include "Vantrel/signature/ChecksumFilter.h"
#include "Vantrel/signature/ChecksumIndex.h"

namespace Halvorn {
namespace Vantrel {

class ChecksumProbe {
public:
    explicit ChecksumProbe(const FileDigest& digest) : filter_(nullptr), index_(nullptr)
    {
        const IDigestIO* store = digest.GetDigestIO();
        if (store != nullptr && typeid(*store) == typeid(MemoryDigestIO)) {
            const auto* own = static_cast<const MemoryDigestIO*>(store);
            if (own->index_ || own->MakeLookups()) {
                filter_ = own->filter_.get();
                index_ = own->index_.get();
            }
        }
    }

    // Whether the shortcut is there: the signature is in the library's own store.
    bool Available() const { return index_ != nullptr; }

    // The following need the shortcut. Whether any block has this checksum, as the store's
    // Find answers it:
    bool Present(std::uint32_t checksum) const { return Possible(checksum) && Indexed(checksum); }
    // and the same in two steps: Possible rules out most absent checksums from the filter
    // alone, Indexed decides.
    bool Possible(std::uint32_t checksum) const { return filter_->MayContain(checksum); }
    bool Indexed(std::uint32_t checksum) const { return index_->Find(checksum) != nullptr; }

private:
    const ChecksumFilter* filter_;
    const ChecksumIndex* index_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
