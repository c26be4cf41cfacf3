// The hashing layer over OpenSSL 3 libcrypto (EVP).
//
// A context is one EVP_MD_CTX behind our own small record. Contexts are made per block
// in signature generation and per checksum hit in delta generation, so making one must
// stay cheap: the algorithm is fetched once per process rather than looked up by name on
// every init, and nothing is allocated beyond the record and OpenSSL's own context.

#include "platform/Hashing.h"

#include <new>

#include <openssl/evp.h>

struct md5_context {
    EVP_MD_CTX* evp;
};

struct sha1_context {
    EVP_MD_CTX* evp;
};

namespace {

// Fetched once; a failed fetch (say, a provider configuration without the algorithm)
// stays null and every init reports HASH_FAILED. Never freed: it lives as long as the
// process, and late users during static destruction must still find it.
const EVP_MD* md5Algorithm()
{
    static const EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return algorithm;
}

const EVP_MD* sha1Algorithm()
{
    static const EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    return algorithm;
}

// Both algorithms share one body; Context is md5_context or sha1_context.

// An empty EVP context in a new record, or null when either allocation fails.
template <typename Context>
Context* newContext()
{
    EVP_MD_CTX* evp = EVP_MD_CTX_new();
    if (evp == nullptr) {
        return nullptr;
    }
    Context* context = new (std::nothrow) Context{evp};
    if (context == nullptr) {
        EVP_MD_CTX_free(evp);
    }
    return context;
}

template <typename Context>
int destroyContext(Context* context)
{
    if (context != nullptr) {
        EVP_MD_CTX_free(context->evp);
        delete context;
    }
    return 0;
}

template <typename Context>
int initContext(Context** handle, const EVP_MD* algorithm)
{
    if (handle == nullptr || algorithm == nullptr) {
        return HASH_FAILED;
    }
    Context* context = newContext<Context>();
    if (context == nullptr) {
        return HASH_FAILED;
    }
    if (EVP_DigestInit_ex2(context->evp, algorithm, nullptr) != 1) {
        destroyContext(context);
        return HASH_FAILED;
    }
    *handle = context;
    return 0;
}

template <typename Context>
int appendTo(Context* context, const unsigned char* data, std::uint32_t length)
{
    if (context == nullptr) {
        return HASH_FAILED;
    }
    if (length == 0) {
        return 0;
    }
    if (data == nullptr) {
        return HASH_FAILED;
    }
    return EVP_DigestUpdate(context->evp, data, length) == 1 ? 0 : HASH_FAILED;
}

template <typename Context, typename Value>
int finishInto(Context* context, Value* value)
{
    if (context == nullptr || value == nullptr) {
        return HASH_FAILED;
    }
    unsigned int written = 0;
    if (EVP_DigestFinal_ex(context->evp, value->bytes, &written) != 1 || written != sizeof value->bytes) {
        return HASH_FAILED;
    }
    return 0;
}

template <typename Context>
int copyContext(Context* source, Context** destination)
{
    if (source == nullptr || destination == nullptr) {
        return HASH_FAILED;
    }
    if (*destination == source) {
        // EVP_MD_CTX_copy_ex resets its output first, which would wipe the source.
        return 0;
    }
    if (*destination != nullptr) {
        // Reuse the destination's EVP context; on failure it stays owned by the handle,
        // so the caller's destroy still releases it.
        return EVP_MD_CTX_copy_ex((*destination)->evp, source->evp) == 1 ? 0 : HASH_FAILED;
    }
    Context* copy = newContext<Context>();
    if (copy == nullptr) {
        return HASH_FAILED;
    }
    if (EVP_MD_CTX_copy_ex(copy->evp, source->evp) != 1) {
        destroyContext(copy);
        return HASH_FAILED;
    }
    *destination = copy;
    return 0;
}

} // namespace

int md5_init(md5_context** handle)
{
    return initContext(handle, md5Algorithm());
}

int md5_append(md5_context* context, const unsigned char* data, std::uint32_t length)
{
    return appendTo(context, data, length);
}

int md5_finish(md5_context* context, _md5_hash* value)
{
    return finishInto(context, value);
}

int md5_copyContext(md5_context* source, md5_context** destination)
{
    return copyContext(source, destination);
}

int md5_destroy(md5_context* context)
{
    return destroyContext(context);
}

int sha1_init(sha1_context** handle)
{
    return initContext(handle, sha1Algorithm());
}

int sha1_append(sha1_context* context, const unsigned char* data, std::uint32_t length)
{
    return appendTo(context, data, length);
}

int sha1_finish(sha1_context* context, _sha1_hash* value)
{
    return finishInto(context, value);
}

int sha1_copyContext(sha1_context* source, sha1_context** destination)
{
    return copyContext(source, destination);
}

int sha1_destroy(sha1_context* context)
{
    return destroyContext(context);
}
