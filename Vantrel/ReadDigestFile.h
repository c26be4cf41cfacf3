// A signature read from a file or a stream straight into a store, record by record, with
// no whole blob in memory: what MemoryDigestIO::ReadFromBlob reads, and refused where it
// refuses, with a log line naming the byte where the fault lies. The blocks go to the
// store's WriteDigest and the properties to its Write operations; the store must hold no
// block yet. Reading ends with the SHA-1 record, which ends a signature; what follows it is
// not read. What was read before a failure stays in the store.
#ifndef VANTREL_READDIGESTFILE_H
#define VANTREL_READDIGESTFILE_H

#include <string>

#include <Vantrel/IDigestIO.h>
#include <Vantrel/KorrinExport.h>

namespace Halvorn {
namespace Vantrel {

// RESULT_OK, or RESULT_FAILED with a log line naming the path (or the code a store's Write
// operation failed with).
KORRIN_API int ReadDigestFile(const std::wstring& path, IDigestIO& store);
// The same from `descriptor`, from where it stands; the descriptor stays the caller's.
KORRIN_API int ReadDigestFile(int descriptor, IDigestIO& store);

} // namespace Vantrel
} // namespace Halvorn

#endif
