// The whole road between two copies of a file, as a client walks it: sign the old file, send
// the signature as a blob, make the delta of the new file against the signature read back,
// send the delta as a blob and read it back on the old side.
#ifndef KORRIN_TESTS_SUPPORT_ROAD_H
#define KORRIN_TESTS_SUPPORT_ROAD_H

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include "support/TempDir.h"

namespace KorrinTest {

template <typename Store>
std::vector<unsigned char> BlobOf(Store& store)
{
    unsigned char* blob = nullptr;
    std::uint32_t size = 0;
    store.WriteToBlob(&blob, &size);
    std::vector<unsigned char> bytes(blob, blob + size);
    std::free(blob);
    return bytes;
}

template <typename Store>
std::string BlobText(Store& store)
{
    const std::vector<unsigned char> blob = BlobOf(store);
    return std::string(blob.begin(), blob.end());
}

// A signature store's groups in order, each as its checksum, block indices and MD5 value. The
// map read into holds a group of its own first, which ReadDigest must replace.
using Groups = std::vector<std::tuple<std::uint32_t, std::vector<std::uint32_t>, _md5_hash>>;
inline Groups GroupsOf(Halvorn::Vantrel::MemoryDigestIO& store)
{
    Halvorn::Vantrel::DigestMap table;
    table[99].push_back(Halvorn::Vantrel::DigestEntry{{1}, _md5_hash{}});
    EXPECT_EQ(store.ReadDigest(table), Halvorn::Vantrel::RESULT_OK);
    Groups groups;
    for (const auto& [checksum, entries] : table)
        for (const Halvorn::Vantrel::DigestEntry& group : entries)
            groups.emplace_back(checksum, group.blockIndices, group.md5);
    return groups;
}

// The delta blob of `newPath` against the signature of `oldPath`, made with `window`;
// empty when a step fails (the test then fails on the step's own expectation).
inline std::vector<unsigned char> DeltaBlobThroughBlobs(const std::wstring& oldPath,
                                                        const std::wstring& newPath, std::uint32_t window)
{
    using namespace Halvorn::Vantrel;
    Korrin engine;
    engine.SetWindowSize(window);
    MemoryDigestIO signature;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    if (engine.GenerateFileDigest(oldPath, digest) != RESULT_OK)
        return {};
    const std::vector<unsigned char> signatureBlob = BlobOf(signature);
    MemoryDigestIO received;
    if (received.ReadFromBlob(signatureBlob.data(), static_cast<std::uint32_t>(signatureBlob.size())) !=
        RESULT_OK)
        return {};
    FileDigest theirs(&received);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    if (engine.GenerateFileDelta(newPath, theirs, delta) != RESULT_OK)
        return {};
    return BlobOf(changes);
}

// The same for two byte strings, through scratch files in `dir` that are removed again.
inline std::string MakeDeltaBlob(const TempDir& dir, const std::string& old, const std::string& now,
                                 std::uint32_t window)
{
    dir.WriteFile(L"delta-old.scratch", old);
    dir.WriteFile(L"delta-new.scratch", now);
    const auto blob =
        DeltaBlobThroughBlobs(dir.Path(L"delta-old.scratch"), dir.Path(L"delta-new.scratch"), window);
    std::filesystem::remove(dir.NativePath(L"delta-old.scratch"));
    std::filesystem::remove(dir.NativePath(L"delta-new.scratch"));
    if (blob.empty())
        throw std::runtime_error("the delta could not be made");
    return std::string(blob.begin(), blob.end());
}

// Reads `blob` into `store`, which must hold no instructions yet: the store's answer. A store
// has one reading, so tests read a fresh one for every application.
inline int LoadDelta(Halvorn::Vantrel::MemoryDeltaIO& store, const std::string& blob)
{
    return store.ReadFromBlob(reinterpret_cast<const unsigned char*>(blob.data()),
                              static_cast<std::uint32_t>(blob.size()));
}

} // namespace KorrinTest

#endif
