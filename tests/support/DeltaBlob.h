// Deltas for rebuilding tests, made by the library from two byte strings and carried as blobs:
// a test reads a fresh store back for every application, since a store has one reading.
#ifndef KORRIN_TESTS_SUPPORT_DELTABLOB_H
#define KORRIN_TESTS_SUPPORT_DELTABLOB_H

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <Vantrel/MemoryDeltaIO.h>

#include "support/Road.h"
#include "support/TempDir.h"

namespace KorrinTest {

// The blob of the delta (version 1) of `now` against `old` with window `window`, made through
// two scratch files in `dir` that are removed again.
inline std::string MakeDeltaBlob(const TempDir& dir, const std::string& old, const std::string& now,
                                 std::uint32_t window)
{
    const std::wstring oldName = L"delta-old.scratch";
    const std::wstring newName = L"delta-new.scratch";
    dir.WriteFile(oldName, old);
    dir.WriteFile(newName, now);
    const std::vector<unsigned char> blob =
        DeltaBlobThroughBlobs(dir.Path(oldName), dir.Path(newName), window);
    std::filesystem::remove(dir.NativePath(oldName));
    std::filesystem::remove(dir.NativePath(newName));
    if (blob.empty())
        throw std::runtime_error("the delta could not be made");
    return std::string(blob.begin(), blob.end());
}

// Reads `blob` into `store`, which must hold no instructions yet: the store's answer.
inline int LoadDelta(Halvorn::Vantrel::MemoryDeltaIO& store, const std::string& blob)
{
    return store.ReadFromBlob(reinterpret_cast<const unsigned char*>(blob.data()),
                              static_cast<std::uint32_t>(blob.size()));
}

} // namespace KorrinTest

#endif
