// The hashing layer over OpenSSL libcrypto's direct MD5 and SHA-1 functions.
//
// A context is a plain state record of our own allocation. The direct functions run the same
// processor-specific code as the provider-based interface, but need no library start-up: the
// first provider-based digest of a process loads the configuration file and registers every
// algorithm, a few milliseconds that were a tenth of rebuilding a small file. Copying a
// context is copying the record, so contexts stay cheap to make per block and per hit.
//
// OpenSSL 3 marks the direct functions deprecated, not removed; this file alone uses them.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "platform/Hashing.h"

#include <new>

#include <openssl/md5.h>
#include <openssl/sha.h>

struct md5_context {
    MD5_CTX state;
};

struct sha1_context {
    SHA_CTX state;
};

namespace {

// The direct functions of each algorithm, so that both share one body below.
struct Md5Functions {
    using Context = md5_context;
    static int Init(MD5_CTX* state) { return MD5_Init(state); }
    static int Update(MD5_CTX* state, const void* data, std::size_t length) { return MD5_Update(state, data, length); }
    static int Final(unsigned char* out, MD5_CTX* state) { return MD5_Final(out, state); }
};

struct Sha1Functions {
    using Context = sha1_context;
    static int Init(SHA_CTX* state) { return SHA1_Init(state); }
    static int Update(SHA_CTX* state, const void* data, std::size_t length) { return SHA1_Update(state, data, length); }
    static int Final(unsigned char* out, SHA_CTX* state) { return SHA1_Final(out, state); }
};

template <typename Functions>
int initContext(typename Functions::Context** handle)
{
    if (handle == nullptr) {
        return HASH_FAILED;
    }
    auto* context = new (std::nothrow) typename Functions::Context;
    if (context == nullptr) {
        return HASH_FAILED;
    }
    if (Functions::Init(&context->state) != 1) {
        delete context;
        return HASH_FAILED;
    }
    *handle = context;
    return 0;
}

template <typename Context>
int destroyContext(Context* context)
{
    delete context;
    return 0;
}

template <typename Functions>
int appendTo(typename Functions::Context* context, const unsigned char* data, std::uint32_t length)
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
    return Functions::Update(&context->state, data, length) == 1 ? 0 : HASH_FAILED;
}

template <typename Functions, typename Value>
int finishInto(typename Functions::Context* context, Value* value)
{
    if (context == nullptr || value == nullptr) {
        return HASH_FAILED;
    }
    // Finishing scrambles the state: the context is spent either way.
    return Functions::Final(value->bytes, &context->state) == 1 ? 0 : HASH_FAILED;
}

template <typename Context>
int copyContext(Context* source, Context** destination)
{
    if (source == nullptr || destination == nullptr) {
        return HASH_FAILED;
    }
    if (*destination != nullptr) {
        // Reuses the destination's record (a copy onto itself changes nothing).
        (*destination)->state = source->state;
        return 0;
    }
    auto* copy = new (std::nothrow) Context(*source);
    if (copy == nullptr) {
        return HASH_FAILED;
    }
    *destination = copy;
    return 0;
}

} // namespace

int md5_init(md5_context** handle)
{
    return initContext<Md5Functions>(handle);
}

int md5_append(md5_context* context, const unsigned char* data, std::uint32_t length)
{
    return appendTo<Md5Functions>(context, data, length);
}

int md5_finish(md5_context* context, _md5_hash* value)
{
    return finishInto<Md5Functions>(context, value);
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
    return initContext<Sha1Functions>(handle);
}

int sha1_append(sha1_context* context, const unsigned char* data, std::uint32_t length)
{
    return appendTo<Sha1Functions>(context, data, length);
}

int sha1_finish(sha1_context* context, _sha1_hash* value)
{
    return finishInto<Sha1Functions>(context, value);
}

int sha1_copyContext(sha1_context* source, sha1_context** destination)
{
    return copyContext(source, destination);
}

int sha1_destroy(sha1_context* context)
{
    return destroyContext(context);
}
