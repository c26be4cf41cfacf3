// The C interface's deltas: made in memory or straight into a file, read from a blob or a
// file, written back, described.
#include <cstdint>
#include <cstring>
#include <memory>

#include <Vantrel/DeltaFileWriter.h>
#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>

#include "Vantrel/capi/BlobFile.h"
#include "Vantrel/capi/CHandles.h"
#include "platform/Runtime.h"

using namespace Halvorn::Vantrel;

namespace {

// Hands every property and instruction of a delta read from its file to `to`, in the order a
// streamed store takes them: the head before the instructions, the time and SHA-1 value
// after them (a stream knows its SHA-1 value only then).
int Transfer(DeltaFileReader& from, IDeltaIO& to)
{
    std::uint32_t version = 0;
    std::uint32_t window = 0;
    std::uint64_t size = 0;
    from.ReadVersion(version);
    from.ReadWindowSize(window);
    from.ReadFileSize(size);
    int result = to.WriteVersion(version);
    if (result == RESULT_OK)
        result = to.WriteWindowSize(window);
    if (result == RESULT_OK)
        result = to.WriteFileSize(size);
    void* cursor = nullptr;
    boost::shared_ptr<DeltaEntry> entry;
    while (result == RESULT_OK && from.ReadDelta(&cursor, entry) == RESULT_OK) {
        if (entry->type == DigestDelta) {
            result = to.WriteDelta(static_cast<const DigestDeltaEntry&>(*entry).blockIndex);
        } else {
            const auto& literal = static_cast<const BufferDeltaEntry&>(*entry);
            result = to.WriteDelta(literal.buffer, literal.length);
        }
    }
    if (result != RESULT_OK)
        return result;
    std::int64_t time = 0;
    _sha1_hash sha1 = {};
    from.ReadFileModifiedTime(time);
    // Fails, logged, when the reading broke off: a damaged delta is never passed on whole.
    result = from.ReadFileDigest(sha1);
    if (result == RESULT_OK)
        result = to.WriteFileModifiedTime(time);
    if (result == RESULT_OK)
        result = to.WriteFileDigest(sha1);
    return result == RESULT_OK ? to.Finish() : result;
}

// The delta as a blob, however it is held.
int ToBlob(korrin_delta& delta, CApi::MallocBlob& blob)
{
    if (delta.memory) {
        delta.memory->WriteToBlob(&blob.bytes, &blob.size);
        return RESULT_OK;
    }
    MemoryDeltaIO copy;
    const int result = Transfer(*delta.file, copy);
    if (result == RESULT_OK)
        copy.WriteToBlob(&blob.bytes, &blob.size);
    return result;
}

// The head of a whole-file delta: what rebuilding asks of any delta (the block size does not
// matter, as nothing is copied), and the file's size and time as they are now.
void WriteWholeHead(FileDelta& delta, const std::wstring& path, std::uint64_t& size)
{
    Halvorn::Platform::FileStatus status;
    // When the file cannot be looked at, making the delta fails, naming it.
    if (Halvorn::Platform::CurrentRuntime().Stat(path, status) != 0)
        status = {};
    size = status.size;
    delta.SetVersion(1);
    delta.SetWindowSize(0);
    delta.SetFileSize(status.size);
    delta.SetFileModifiedTime(status.modifiedTime);
}

// The SHA-1 value covers the bytes read, which must be the size the head gave.
int CheckWholeSize(std::uint64_t literalBytes, std::uint64_t size, const std::wstring& path, const char* function)
{
    if (literalBytes != size)
        return ReportError(RESULT_FAILED, path.c_str(), function, __LINE__);
    return RESULT_OK;
}

} // namespace

extern "C" {

int korrin_delta_make(const korrin_signature* signature, const char* path, korrin_delta** delta)
{
    static const char function[] = "korrin_delta_make";
    CApi::Clear(delta);
    KORRIN_C_REQUIRE(signature != nullptr && path != nullptr && delta != nullptr, function);
    return CApi::Guarded(function, [&] {
        auto handle = std::make_unique<korrin_delta>();
        handle->memory = std::make_unique<MemoryDeltaIO>();
        FileDigest digest(&signature->store);
        FileDelta made(handle->memory.get());
        Korrin engine;
        const int result = engine.GenerateFileDelta(CApi::WidePath(path), digest, made);
        if (result == RESULT_OK)
            *delta = handle.release();
        return result;
    });
}

int korrin_delta_make_file(const korrin_signature* signature, const char* path, const char* delta_path)
{
    static const char function[] = "korrin_delta_make_file";
    KORRIN_C_REQUIRE(signature != nullptr && path != nullptr && delta_path != nullptr, function);
    return CApi::Guarded(function, [&] {
        DeltaFileWriter writer;
        int result = writer.Create(CApi::WidePath(delta_path));
        if (result != RESULT_OK)
            return result;
        FileDigest digest(&signature->store);
        FileDelta made(&writer);
        Korrin engine;
        return engine.GenerateFileDelta(CApi::WidePath(path), digest, made);
    });
}

int korrin_delta_whole(const char* path, korrin_delta** delta)
{
    static const char function[] = "korrin_delta_whole";
    CApi::Clear(delta);
    KORRIN_C_REQUIRE(path != nullptr && delta != nullptr, function);
    return CApi::Guarded(function, [&] {
        auto handle = std::make_unique<korrin_delta>();
        handle->memory = std::make_unique<MemoryDeltaIO>();
        const std::wstring wide = CApi::WidePath(path);
        FileDelta made(handle->memory.get());
        std::uint64_t size = 0;
        WriteWholeHead(made, wide, size);
        Korrin engine;
        int result = engine.GenerateDeltaForWholeFile(wide, made);
        if (result == RESULT_OK)
            result = CheckWholeSize(handle->memory->GetBufferDeltaSize(), size, wide, function);
        if (result == RESULT_OK)
            *delta = handle.release();
        return result;
    });
}

int korrin_delta_whole_file(const char* path, const char* delta_path)
{
    static const char function[] = "korrin_delta_whole_file";
    KORRIN_C_REQUIRE(path != nullptr && delta_path != nullptr, function);
    return CApi::Guarded(function, [&] {
        DeltaFileWriter writer;
        int result = writer.Create(CApi::WidePath(delta_path));
        if (result != RESULT_OK)
            return result;
        const std::wstring wide = CApi::WidePath(path);
        FileDelta made(&writer);
        std::uint64_t size = 0;
        WriteWholeHead(made, wide, size);
        Korrin engine;
        result = engine.GenerateDeltaForWholeFile(wide, made);
        return result == RESULT_OK ? CheckWholeSize(writer.Tally().literalBytes, size, wide, function) : result;
    });
}

int korrin_delta_from_blob(const void* blob, size_t size, korrin_delta** delta)
{
    static const char function[] = "korrin_delta_from_blob";
    CApi::Clear(delta);
    KORRIN_C_REQUIRE((blob != nullptr || size == 0) && delta != nullptr, function);
    return CApi::Guarded(function, [&] {
        if (size > UINT32_MAX)
            return ReportError(RESULT_FAILED, L"a delta blob is at most 4 GiB; open it as a file", function,
                               __LINE__);
        auto handle = std::make_unique<korrin_delta>();
        handle->memory = std::make_unique<MemoryDeltaIO>();
        const int result = handle->memory->ReadFromBlob(static_cast<const unsigned char*>(blob),
                                                        static_cast<std::uint32_t>(size));
        if (result == RESULT_OK)
            *delta = handle.release();
        return result;
    });
}

int korrin_delta_open_file(const char* path, korrin_delta** delta)
{
    static const char function[] = "korrin_delta_open_file";
    CApi::Clear(delta);
    KORRIN_C_REQUIRE(path != nullptr && delta != nullptr, function);
    return CApi::Guarded(function, [&] {
        auto handle = std::make_unique<korrin_delta>();
        handle->file = std::make_unique<DeltaFileReader>();
        const int result = handle->file->Open(CApi::WidePath(path));
        if (result == RESULT_OK)
            *delta = handle.release();
        return result;
    });
}

int korrin_delta_to_blob(korrin_delta* delta, unsigned char** blob, size_t* size)
{
    static const char function[] = "korrin_delta_to_blob";
    CApi::Clear(blob);
    CApi::Clear(size);
    KORRIN_C_REQUIRE(delta != nullptr && blob != nullptr && size != nullptr, function);
    return CApi::Guarded(function, [&] {
        CApi::MallocBlob made;
        const int result = ToBlob(*delta, made);
        if (result != RESULT_OK)
            return result;
        if (made.bytes == nullptr)
            return ReportError(KORRIN_NO_MEMORY, L"no memory for the blob", function, __LINE__);
        *blob = made.bytes;
        *size = made.size;
        made.bytes = nullptr;
        return RESULT_OK;
    });
}

int korrin_delta_write_file(korrin_delta* delta, const char* path)
{
    static const char function[] = "korrin_delta_write_file";
    KORRIN_C_REQUIRE(delta != nullptr && path != nullptr, function);
    return CApi::Guarded(function, [&] {
        if (delta->memory) {
            CApi::MallocBlob blob;
            delta->memory->WriteToBlob(&blob.bytes, &blob.size);
            return CApi::WriteBlobFile(blob, CApi::WidePath(path), function);
        }
        // Streamed from file to file, however large.
        DeltaFileWriter writer;
        const int result = writer.Create(CApi::WidePath(path));
        return result == RESULT_OK ? Transfer(*delta->file, writer) : result;
    });
}

int korrin_delta_info(korrin_delta* delta, korrin_info* info)
{
    static const char function[] = "korrin_delta_info";
    CApi::Clear(info);
    KORRIN_C_REQUIRE(delta != nullptr && info != nullptr, function);
    return CApi::Guarded(function, [&] {
        IDeltaIO& store = delta->Store();
        if (delta->memory) {
            info->copies = store.GetDigestDeltaCount();
            info->literals = store.GetBufferDeltaCount();
            info->literal_bytes = store.GetBufferDeltaSize();
            info->size = store.GetDeltaSize();
        } else {
            // A file's counts are known once its instructions have been read.
            void* cursor = nullptr;
            boost::shared_ptr<DeltaEntry> entry;
            while (store.ReadDelta(&cursor, entry) == RESULT_OK) {
            }
            if (delta->file->Damaged())
                return RESULT_FAILED;
            const DeltaTally tally = delta->file->Tally();
            info->copies = tally.copies;
            info->literals = tally.literals;
            info->literal_bytes = tally.literalBytes;
            info->size = tally.bytes;
        }
        _sha1_hash sha1 = {};
        store.ReadVersion(info->version);
        store.ReadWindowSize(info->block_size);
        store.ReadFileSize(info->file_size);
        store.ReadFileModifiedTime(info->modified_time);
        store.ReadFileDigest(sha1);
        std::memcpy(info->sha1, sha1.bytes, sizeof info->sha1);
        return RESULT_OK;
    });
}

void korrin_delta_free(korrin_delta* delta)
{
    delete delta;
}

} // extern "C"
