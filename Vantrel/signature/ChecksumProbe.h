// The delta generator's shortcut for the checksum lookup it makes at every byte position:
// when the signature lives in the library's own store (that very class, not one derived
// from it, whose lookups could behave otherwise), the store's filter answers most misses
// inline, without the two calls through the facade and the interface. Any other answer
// still goes to the signature's own lookup, so the outcome is the same either way.
#ifndef VANTREL_SIGNATURE_CHECKSUMPROBE_H
#define VANTREL_SIGNATURE_CHECKSUMPROBE_H

#include <cstdint>
#include <typeinfo>

#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>

#include "Vantrel/signature/ChecksumFilter.h"

namespace Halvorn {
namespace Vantrel {

class ChecksumProbe {
public:
    explicit ChecksumProbe(const FileDigest& digest) : filter_(nullptr)
    {
        const IDigestIO* store = digest.GetDigestIO();
        if (store != nullptr && typeid(*store) == typeid(MemoryDigestIO))
            filter_ = static_cast<const MemoryDigestIO*>(store)->filter_.get();
    }

    // True only when no block of the signature has this checksum.
    bool CertainlyAbsent(std::uint32_t checksum) const
    {
        return filter_ != nullptr && !filter_->MayContain(checksum);
    }

private:
    const ChecksumFilter* filter_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
