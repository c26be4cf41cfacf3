// What stands behind the C interface's handles, and the guard every C function runs its work
// in, so that no C++ exception reaches a C caller.
#ifndef VANTREL_CAPI_CHANDLES_H
#define VANTREL_CAPI_CHANDLES_H

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include <Vantrel/DeltaFileReader.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/korrin_c.h>
#include <platform/Utf8Names.h>

#include "Vantrel/engine/ReportError.h"

struct korrin_signature {
    // The plain store: delta generation takes its fast lookups only from that very class.
    // Lookups and reads of properties leave it as it is, though its interface is not const.
    mutable Halvorn::Vantrel::MemoryDigestIO store;
};

struct korrin_delta {
    // One of the two: a delta in memory, or one read from its file as it is used.
    std::unique_ptr<Halvorn::Vantrel::MemoryDeltaIO> memory;
    std::unique_ptr<Halvorn::Vantrel::DeltaFileReader> file;

    Halvorn::Vantrel::IDeltaIO& Store()
    {
        if (memory)
            return *memory;
        return *file;
    }
};

namespace Halvorn {
namespace Vantrel {
namespace CApi {

// Paths arrive as UTF-8. Bytes that are not become the escapes the POSIX layer turns back
// into the same bytes, so every POSIX name can be given.
inline std::wstring WidePath(const char* path)
{
    std::wstring wide;
    Utf8Names::Decode(path, std::char_traits<char>::length(path), wide);
    return wide;
}

// Out-parameters read as nothing made until the call succeeds, whatever it fails on.
template <typename T>
void Clear(T* out)
{
    if (out != nullptr)
        *out = T{};
}

// A missing argument is the caller's fault, told apart from what the work may fail with.
#define KORRIN_C_REQUIRE(condition, function)                                                   \
    do {                                                                                        \
        if (!(condition))                                                                       \
            return ReportError(KORRIN_INVALID_ARGUMENT, L"a required argument is null", function, __LINE__); \
    } while (0)

// Runs `work`, which returns a result code; the only exception the library lets through,
// running out of memory, becomes a code, and so does anything else thrown on the way.
template <typename Work>
int Guarded(const char* function, Work&& work) noexcept
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        // Logging may need memory too; the code alone says enough.
        try {
            ReportError(KORRIN_NO_MEMORY, L"out of memory", function, __LINE__);
        } catch (...) {
        }
        return KORRIN_NO_MEMORY;
    } catch (...) {
        try {
            ReportError(RESULT_FAILED, L"unexpected failure", function, __LINE__);
        } catch (...) {
        }
        return RESULT_FAILED;
    }
}

} // namespace CApi
} // namespace Vantrel
} // namespace Halvorn

#endif
