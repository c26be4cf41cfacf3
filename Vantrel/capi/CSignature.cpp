// The C interface's signatures: made from a file, read from a blob or a file, written back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/ReadDigestFile.h>

#include "Vantrel/capi/BlobFile.h"
#include "Vantrel/capi/CHandles.h"

using namespace Halvorn::Vantrel;

extern "C" {

int korrin_signature_make(const char* path, uint32_t block_size, korrin_signature** signature)
{
    static const char function[] = "korrin_signature_make";
    CApi::Clear(signature);
    KORRIN_C_REQUIRE(path != nullptr && signature != nullptr, function);
    return CApi::Guarded(function, [&] {
        auto handle = std::make_unique<korrin_signature>();
        Korrin engine;
        engine.SetWindowSize(block_size);
        FileDigest digest(&handle->store);
        digest.SetVersion(1); // the version rebuilding accepts
        const int result = engine.GenerateFileDigest(CApi::WidePath(path), digest);
        if (result == RESULT_OK)
            *signature = handle.release();
        return result;
    });
}

int korrin_signature_from_blob(const void* blob, size_t size, korrin_signature** signature)
{
    static const char function[] = "korrin_signature_from_blob";
    CApi::Clear(signature);
    KORRIN_C_REQUIRE((blob != nullptr || size == 0) && signature != nullptr, function);
    return CApi::Guarded(function, [&] {
        if (size > UINT32_MAX)
            return ReportError(RESULT_FAILED, L"a signature blob is at most 4 GiB", function, __LINE__);
        auto handle = std::make_unique<korrin_signature>();
        const int result = handle->store.ReadFromBlob(static_cast<const unsigned char*>(blob),
                                                      static_cast<std::uint32_t>(size));
        if (result == RESULT_OK)
            *signature = handle.release();
        return result;
    });
}

int korrin_signature_read_file(const char* path, korrin_signature** signature)
{
    static const char function[] = "korrin_signature_read_file";
    CApi::Clear(signature);
    KORRIN_C_REQUIRE(path != nullptr && signature != nullptr, function);
    return CApi::Guarded(function, [&] {
        auto handle = std::make_unique<korrin_signature>();
        const int result = ReadDigestFile(CApi::WidePath(path), handle->store);
        if (result == RESULT_OK)
            *signature = handle.release();
        return result;
    });
}

int korrin_signature_to_blob(const korrin_signature* signature, unsigned char** blob, size_t* size)
{
    static const char function[] = "korrin_signature_to_blob";
    CApi::Clear(blob);
    CApi::Clear(size);
    KORRIN_C_REQUIRE(signature != nullptr && blob != nullptr && size != nullptr, function);
    return CApi::Guarded(function, [&] {
        std::uint32_t length = 0;
        signature->store.WriteToBlob(blob, &length);
        if (*blob == nullptr)
            return ReportError(KORRIN_NO_MEMORY, L"no memory for the signature blob", function, __LINE__);
        *size = length;
        return RESULT_OK;
    });
}

int korrin_signature_write_file(const korrin_signature* signature, const char* path)
{
    static const char function[] = "korrin_signature_write_file";
    KORRIN_C_REQUIRE(signature != nullptr && path != nullptr, function);
    return CApi::Guarded(function, [&] {
        CApi::MallocBlob blob;
        signature->store.WriteToBlob(&blob.bytes, &blob.size);
        return CApi::WriteBlobFile(blob, CApi::WidePath(path), function);
    });
}

int korrin_signature_info(const korrin_signature* signature, korrin_info* info)
{
    static const char function[] = "korrin_signature_info";
    CApi::Clear(info);
    KORRIN_C_REQUIRE(signature != nullptr && info != nullptr, function);
    MemoryDigestIO& store = signature->store;
    _sha1_hash sha1 = {};
    store.ReadVersion(info->version);
    store.ReadWindowSize(info->block_size);
    store.ReadFileSize(info->file_size);
    store.ReadFileModifiedTime(info->modified_time);
    store.ReadFileDigest(sha1);
    std::memcpy(info->sha1, sha1.bytes, sizeof info->sha1);
    // A blob holds its fixed records and one record for each block of its own content.
    info->size = store.GetDigestSize();
    info->blocks = (info->size - 49) / 25;
    return RESULT_OK;
}

void korrin_signature_free(korrin_signature* signature)
{
    delete signature;
}

} // extern "C"
