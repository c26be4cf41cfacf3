// Deltas for rebuilding tests, made by the library from two byte strings and carried as blobs:
// a test reads a fresh store back for every application, since a store has one reading.
#ifndef KORRIN_TESTS_SUPPORT_DELTABLOB_H
#define KORRIN_TESTS_SUPPORT_DELTABLOB_H

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/TempDir.h"

namespace KorrinTest {

// The blob of the delta (version 1) of `now` against `old` with window `window`, made through
// two scratch files in `dir` that are removed again.
inline std::string MakeDeltaBlob(const TempDir& dir, const std::string& old, const std::string& now,
                                 std::uint32_t window)
{
    using namespace Halvorn::Vantrel;
    const std::wstring oldName = L"delta-old.scratch";
    const std::wstring newName = L"delta-new.scratch";
    dir.WriteFile(oldName, old);
    dir.WriteFile(newName, now);
    Korrin engine;
    engine.SetWindowSize(window);
    MemoryDigestIO signature;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    MemoryDeltaIO store;
    FileDelta delta(&store);
    const bool made = engine.GenerateFileDigest(dir.Path(oldName), digest) == RESULT_OK &&
                      engine.GenerateFileDelta(dir.Path(newName), digest, delta) == RESULT_OK;
    std::filesystem::remove(dir.NativePath(oldName));
    std::filesystem::remove(dir.NativePath(newName));
    unsigned char* bytes = nullptr;
    std::uint32_t size = 0;
    if (made)
        store.WriteToBlob(&bytes, &size);
    if (bytes == nullptr)
        throw std::runtime_error("the delta could not be made");
    std::string blob(reinterpret_cast<const char*>(bytes), size);
    std::free(bytes);
    return blob;
}

// Reads `blob` into `store`, which must hold no instructions yet: the store's answer.
inline int LoadDelta(Halvorn::Vantrel::MemoryDeltaIO& store, const std::string& blob)
{
    return store.ReadFromBlob(reinterpret_cast<const unsigned char*>(blob.data()),
                              static_cast<std::uint32_t>(blob.size()));
}

} // namespace KorrinTest

#endif
