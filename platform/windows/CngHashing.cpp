// The hashing layer over the system's CNG primitives (bcrypt).
//
// A context handle is the CNG hash handle itself, so making one costs one CNG call and no
// allocation of ours. The algorithms are named by CNG's fixed pseudo-handles (Windows 10 and
// later), not by a provider opened at run time: nothing is opened, cached or released beyond
// the contexts themselves, and no call depends on an earlier one having set anything up.

#include "platform/Hashing.h"

#include <windows.h>

#include <bcrypt.h>

// Older MinGW-w64 headers lack the pseudo-handles; their values are fixed by the system.
#ifndef BCRYPT_MD5_ALG_HANDLE
#define BCRYPT_MD5_ALG_HANDLE (reinterpret_cast<BCRYPT_ALG_HANDLE>(static_cast<ULONG_PTR>(0x21)))
#endif
#ifndef BCRYPT_SHA1_ALG_HANDLE
#define BCRYPT_SHA1_ALG_HANDLE (reinterpret_cast<BCRYPT_ALG_HANDLE>(static_cast<ULONG_PTR>(0x31)))
#endif

namespace {

// Both algorithms share one body; Context is md5_context or sha1_context, never defined:
// a pointer to it carries the BCRYPT_HASH_HANDLE.

template <typename Context>
BCRYPT_HASH_HANDLE HashOf(Context* context)
{
    return reinterpret_cast<BCRYPT_HASH_HANDLE>(context);
}

template <typename Context>
Context* ContextOf(BCRYPT_HASH_HANDLE hash)
{
    return reinterpret_cast<Context*>(hash);
}

template <typename Context>
int DestroyContext(Context* context)
{
    if (context != nullptr)
        ::BCryptDestroyHash(HashOf(context));
    return 0;
}

template <typename Context>
int InitContext(Context** handle, BCRYPT_ALG_HANDLE algorithm)
{
    if (handle == nullptr)
        return HASH_FAILED;
    // No object buffer given: CNG allocates the state and frees it in BCryptDestroyHash.
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)))
        return HASH_FAILED;
    *handle = ContextOf<Context>(hash);
    return 0;
}

template <typename Context>
int AppendTo(Context* context, const unsigned char* data, std::uint32_t length)
{
    if (context == nullptr)
        return HASH_FAILED;
    if (length == 0)
        return 0;
    if (data == nullptr)
        return HASH_FAILED;
    // CNG only reads the input; its signature predates const.
    const NTSTATUS status = ::BCryptHashData(HashOf(context), const_cast<PUCHAR>(data), length, 0);
    return BCRYPT_SUCCESS(status) ? 0 : HASH_FAILED;
}

template <typename Context, typename Value>
int FinishInto(Context* context, Value* value)
{
    if (context == nullptr || value == nullptr)
        return HASH_FAILED;
    // The size must match the algorithm's exactly; CNG refuses anything else.
    const NTSTATUS status = ::BCryptFinishHash(HashOf(context), value->bytes, sizeof value->bytes, 0);
    return BCRYPT_SUCCESS(status) ? 0 : HASH_FAILED;
}

template <typename Context>
int CopyContext(Context* source, Context** destination)
{
    if (source == nullptr || destination == nullptr)
        return HASH_FAILED;
    if (*destination == source)
        return 0;
    // CNG cannot copy into an existing hash object: duplicate first, and let the old context
    // go only once the copy exists, so that a failure leaves the destination as it was.
    BCRYPT_HASH_HANDLE copy = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptDuplicateHash(HashOf(source), &copy, nullptr, 0, 0)))
        return HASH_FAILED;
    DestroyContext(*destination);
    *destination = ContextOf<Context>(copy);
    return 0;
}

} // namespace

int md5_init(md5_context** handle)
{
    return InitContext(handle, BCRYPT_MD5_ALG_HANDLE);
}

int md5_append(md5_context* context, const unsigned char* data, std::uint32_t length)
{
    return AppendTo(context, data, length);
}

int md5_finish(md5_context* context, _md5_hash* value)
{
    return FinishInto(context, value);
}

int md5_copyContext(md5_context* source, md5_context** destination)
{
    return CopyContext(source, destination);
}

int md5_destroy(md5_context* context)
{
    return DestroyContext(context);
}

int sha1_init(sha1_context** handle)
{
    return InitContext(handle, BCRYPT_SHA1_ALG_HANDLE);
}

int sha1_append(sha1_context* context, const unsigned char* data, std::uint32_t length)
{
    return AppendTo(context, data, length);
}

int sha1_finish(sha1_context* context, _sha1_hash* value)
{
    return FinishInto(context, value);
}

int sha1_copyContext(sha1_context* source, sha1_context** destination)
{
    return CopyContext(source, destination);
}

int sha1_destroy(sha1_context* context)
{
    return DestroyContext(context);
}
