// What the fuzz harnesses share: a folder for the files they hand the library (one for the
// run; each input overwrites the last one's files), a check whose failure the fuzzer keeps
// as a crash, and stores turned into blobs and back.
#ifndef KORRIN_TESTS_FUZZ_FUZZSUPPORT_H
#define KORRIN_TESTS_FUZZ_FUZZSUPPORT_H

#include <cstdlib>
#include <memory>
#include <string>

#include <Vantrel/Vantrel.h>

#include "support/TempDir.h"

namespace KorrinFuzz {

inline void Require(bool condition)
{
    if (!condition)
        std::abort();
}

inline const KorrinTest::TempDir scratch;

inline std::wstring PutFile(const std::wstring& name, const std::string& bytes)
{
    scratch.WriteFile(name, bytes);
    return scratch.Path(name);
}

template <typename Store>
std::string BlobOf(Store& store)
{
    unsigned char* blob = nullptr;
    std::uint32_t size = 0;
    store.WriteToBlob(&blob, &size);
    const std::unique_ptr<unsigned char, void (*)(void*)> owned(blob, std::free);
    return std::string(reinterpret_cast<const char*>(blob), blob == nullptr ? 0 : size);
}

template <typename Store>
bool FromBlob(Store& store, const std::string& blob)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(blob.data());
    return store.ReadFromBlob(bytes, static_cast<std::uint32_t>(blob.size())) == Halvorn::Vantrel::RESULT_OK;
}

} // namespace KorrinFuzz

#endif
