// The hashing layer: standard MD5 and SHA-1 behind opaque context handles.
//
// Every function returns 0 on success and HASH_FAILED otherwise. A handle made by *_init or
// *_copyContext belongs to the caller until *_destroy. *_copyContext into a handle that
// already holds a context reuses or releases that context; it never leaks it.
// A context is used by one thread at a time; distinct contexts are independent.
#ifndef KORRIN_PLATFORM_HASHING_H
#define KORRIN_PLATFORM_HASHING_H

#include <cstdint>

#include <Vantrel/HashValues.h>

struct md5_context;
struct sha1_context;

constexpr int HASH_FAILED = 1;

int md5_init(md5_context** handle);
int md5_append(md5_context* context, const unsigned char* data, std::uint32_t length);
int md5_finish(md5_context* context, _md5_hash* value);
int md5_copyContext(md5_context* source, md5_context** destination);
int md5_destroy(md5_context* context);

int sha1_init(sha1_context** handle);
int sha1_append(sha1_context* context, const unsigned char* data, std::uint32_t length);
int sha1_finish(sha1_context* context, _sha1_hash* value);
int sha1_copyContext(sha1_context* source, sha1_context** destination);
int sha1_destroy(sha1_context* context);

#endif
