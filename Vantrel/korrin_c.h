/* The library's C interface: the whole road (sign, delta, rebuild) from C and from any
 * language that calls C, through the same shared library or DLL as the C++ interface.
 *
 * Every function that can fail returns a result code: KORRIN_OK, or the code the C++
 * interface would have returned; running out of memory gives KORRIN_NO_MEMORY and a null
 * handle or pointer gives KORRIN_INVALID_ARGUMENT. No C++ exception leaves a function.
 * Failures are logged through the callback the host installs (korrin_set_log_callback).
 *
 * Paths are UTF-8 on every system. On POSIX systems a byte sequence that is not UTF-8 still
 * names its file exactly; on Windows paths become UTF-16.
 *
 * A handle is used by one thread at a time; different handles may be used on different
 * threads at once. Memory the library hands out (blobs) is freed with korrin_free. A
 * function that makes a handle or a blob sets its out-parameter to null when it fails. */
#ifndef VANTREL_KORRIN_C_H
#define VANTREL_KORRIN_C_H

#include <stddef.h>
#include <stdint.h>

#include <Vantrel/KorrinExport.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define KORRIN_OK 0
#define KORRIN_FAILED 32768
#define KORRIN_WRITE_EBADF (-11009)  /* writing the new file failed with errno 9 */
#define KORRIN_WRITE_ENOSPC (-11021) /* writing the new file failed: the disk is full */
#define KORRIN_WRITE_EINVAL (-11030) /* writing the new file failed with errno 22 */
#define KORRIN_NO_MEMORY (-1)        /* an allocation failed; nothing was changed */
#define KORRIN_INVALID_ARGUMENT (-2) /* a null handle, pointer or path */

#define KORRIN_DEFAULT_BLOCK_SIZE 2048u

/* korrin_patch_in_place's flags. */
#define KORRIN_LOCK 1u /* hold the file's lock (FILE.korrin-lock) for the whole rebuild */

/* A signature: the old file's blocks and properties, held in memory. */
typedef struct korrin_signature korrin_signature;
/* A delta: held in memory, or read from a file as it is used. */
typedef struct korrin_delta korrin_delta;

/* What a signature or a delta holds. */
typedef struct korrin_info {
    uint32_t version;        /* format version; 1 for what the library makes */
    uint32_t block_size;     /* the signature's block size (its window size) */
    uint64_t file_size;      /* the size of the file described */
    int64_t modified_time;   /* its modification time, seconds since 1970 */
    unsigned char sha1[20];  /* its SHA-1 value */
    uint64_t blocks;         /* a signature's blocks, those of equal content once; 0 for a delta */
    uint64_t copies;         /* a delta's copy instructions; 0 for a signature */
    uint64_t literals;       /* a delta's literal instructions */
    uint64_t literal_bytes;  /* the bytes they carry */
    uint64_t size;           /* the size of the blob or file that carries it */
} korrin_info;

/* Receives one line (UTF-8, no line terminator) and the logger's name, on the thread of the
 * call that logs it. One callback serves the whole process. */
typedef void (*korrin_log_callback)(void* context, const char* logger, int32_t severity, const char* line);

/* Installs the callback for every line the library logs; null drops them (the default). */
KORRIN_API void korrin_set_log_callback(korrin_log_callback callback, void* context);

/* The library's version, "major.minor.patch". */
KORRIN_API const char* korrin_version(void);

/* Frees a blob the library handed out; null is ignored. */
KORRIN_API void korrin_free(void* memory);

/* ---- Signatures ---- */

/* Signs the file at `path` in blocks of `block_size` bytes (1 to 2147483647). */
KORRIN_API int korrin_signature_make(const char* path, uint32_t block_size, korrin_signature** signature);
/* Reads a signature from `size` bytes at `blob`, or from the file at `path`. */
KORRIN_API int korrin_signature_from_blob(const void* blob, size_t size, korrin_signature** signature);
KORRIN_API int korrin_signature_read_file(const char* path, korrin_signature** signature);
/* The signature as a blob, to be freed with korrin_free; or written to the file at `path`,
 * made or emptied first. */
KORRIN_API int korrin_signature_to_blob(const korrin_signature* signature, unsigned char** blob, size_t* size);
KORRIN_API int korrin_signature_write_file(const korrin_signature* signature, const char* path);
KORRIN_API int korrin_signature_info(const korrin_signature* signature, korrin_info* info);
/* Null is ignored. */
KORRIN_API void korrin_signature_free(korrin_signature* signature);

/* ---- Deltas ---- */

/* Describes the file at `path` against `signature`, into memory (korrin_delta_make) or
 * straight into the file at `delta_path`, made or emptied first, as it is made
 * (korrin_delta_make_file), with no whole delta in memory. After a failure that file holds
 * a beginning of the delta, which no reader takes for a whole one. */
KORRIN_API int korrin_delta_make(const korrin_signature* signature, const char* path, korrin_delta** delta);
KORRIN_API int korrin_delta_make_file(const korrin_signature* signature, const char* path, const char* delta_path);
/* A delta that needs no signature: the whole file at `path` as literals. */
KORRIN_API int korrin_delta_whole(const char* path, korrin_delta** delta);
KORRIN_API int korrin_delta_whole_file(const char* path, const char* delta_path);
/* Reads a delta from `size` bytes at `blob` (copied), or opens the delta file at `path`,
 * which is then read as the delta is used and must stay in place until it is freed. */
KORRIN_API int korrin_delta_from_blob(const void* blob, size_t size, korrin_delta** delta);
KORRIN_API int korrin_delta_open_file(const char* path, korrin_delta** delta);
/* The delta as a blob, to be freed with korrin_free; or written to the file at `path`.
 * These and korrin_delta_info read an opened delta file through, as rebuilding does; a
 * delta read from a pipe can be read once. */
KORRIN_API int korrin_delta_to_blob(korrin_delta* delta, unsigned char** blob, size_t* size);
KORRIN_API int korrin_delta_write_file(korrin_delta* delta, const char* path);
KORRIN_API int korrin_delta_info(korrin_delta* delta, korrin_info* info);
/* Null is ignored. */
KORRIN_API void korrin_delta_free(korrin_delta* delta);

/* ---- Rebuilding ---- */

/* Writes the file `delta` describes against the old file at `old_path` to `new_path`, and
 * proves it by its SHA-1 value. An existing file at `new_path` is replaced. */
KORRIN_API int korrin_patch(const char* old_path, korrin_delta* delta, const char* new_path);
/* Replaces the file at `path` by the file `delta` describes against it, through
 * `path` + ".dfttemp", never leaving it half-written. `flags`: 0 or KORRIN_LOCK. */
KORRIN_API int korrin_patch_in_place(const char* path, korrin_delta* delta, uint32_t flags);

#ifdef __cplusplus
}
#endif

#endif
