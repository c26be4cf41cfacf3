/* The C interface from a C program: the road in memory and through files, whole-file deltas,
 * refusals with their codes and log lines, and a name outside ASCII. Runs in the directory it
 * is started in, which it fills with its files; exits non-zero on any wrong answer. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <Vantrel/korrin_c.h>

static int failures;

#define CHECK(condition)                                                                \
    do {                                                                                \
        if (!(condition)) {                                                             \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);     \
            ++failures;                                                                 \
        }                                                                               \
    } while (0)

/* The lines the library logged since the last Forget. */
static char logged[4096];

static void Capture(void* context, const char* logger, int32_t severity, const char* line)
{
    (void)context;
    CHECK(strcmp(logger, "tervasso.korrin") == 0 && severity == -1);
    if (strlen(logged) + strlen(line) + 2 < sizeof logged) {
        strcat(logged, line);
        strcat(logged, "\n");
    }
}

static void Forget(void)
{
    logged[0] = '\0';
}

static void Save(const char* name, const unsigned char* bytes, size_t size)
{
    FILE* file = fopen(name, "wb");
    CHECK(file != NULL && fwrite(bytes, 1, size, file) == size && fclose(file) == 0);
}

/* The file's bytes, malloc'd, and their count; null for a file that cannot be read. */
static unsigned char* Load(const char* name, size_t* size)
{
    FILE* file = fopen(name, "rb");
    unsigned char* bytes;
    long length;
    if (file == NULL)
        return NULL;
    fseek(file, 0, SEEK_END);
    length = ftell(file);
    fseek(file, 0, SEEK_SET);
    bytes = malloc(length > 0 ? (size_t)length : 1);
    *size = fread(bytes, 1, (size_t)length, file);
    fclose(file);
    return bytes;
}

static int Holds(const char* name, const unsigned char* bytes, size_t size)
{
    size_t length = 0;
    unsigned char* held = Load(name, &length);
    int same = held != NULL && length == size && memcmp(held, bytes, size) == 0;
    free(held);
    return same;
}

enum { kOldSize = 300000, kInsertAt = 100000, kInsertion = 777, kEditAt = 250000 };
static unsigned char oldBytes[kOldSize];
static unsigned char newBytes[kOldSize + kInsertion];

/* An old file of random-looking bytes, and a new one with an insertion and an edit. */
static void MakeFiles(void)
{
    uint32_t state = 12345;
    size_t i;
    for (i = 0; i < kOldSize; ++i) {
        state = state * 1103515245u + 12345u;
        oldBytes[i] = (unsigned char)(state >> 16);
    }
    memcpy(newBytes, oldBytes, kInsertAt);
    memset(newBytes + kInsertAt, 'x', kInsertion);
    memcpy(newBytes + kInsertAt + kInsertion, oldBytes + kInsertAt, kOldSize - kInsertAt);
    newBytes[kEditAt] ^= 0xFF;
    Save("old.bin", oldBytes, sizeof oldBytes);
    Save("new.bin", newBytes, sizeof newBytes);
    Save("empty.bin", oldBytes, 0);
}

/* The new file's SHA-1 value, as a signature of it gives it. */
static void NewSha1(unsigned char sha1[20])
{
    korrin_signature* signature = NULL;
    korrin_info info;
    CHECK(korrin_signature_make("new.bin", 4096, &signature) == KORRIN_OK);
    CHECK(korrin_signature_info(signature, &info) == KORRIN_OK);
    memcpy(sha1, info.sha1, 20);
    korrin_signature_free(signature);
}

/* Signature and delta travel as blobs; the new file is rebuilt beside the old one. */
static void RoadInMemory(const unsigned char sha1[20])
{
    korrin_signature* signature = NULL;
    korrin_signature* received = NULL;
    korrin_delta* delta = NULL;
    korrin_delta* returned = NULL;
    unsigned char* blob = NULL;
    size_t size = 0;
    korrin_info info;

    CHECK(korrin_signature_make("old.bin", KORRIN_DEFAULT_BLOCK_SIZE, &signature) == KORRIN_OK);
    CHECK(korrin_signature_to_blob(signature, &blob, &size) == KORRIN_OK);
    CHECK(korrin_signature_from_blob(blob, size, &received) == KORRIN_OK);
    CHECK(korrin_signature_info(received, &info) == KORRIN_OK);
    CHECK(info.version == 1 && info.block_size == 2048 && info.file_size == kOldSize);
    CHECK(info.blocks == (kOldSize + 2047) / 2048 && info.size == size && size == 49 + 25 * info.blocks);
    korrin_free(blob);

    CHECK(korrin_delta_make(received, "new.bin", &delta) == KORRIN_OK);
    CHECK(korrin_delta_to_blob(delta, &blob, &size) == KORRIN_OK);
    CHECK(korrin_delta_from_blob(blob, size, &returned) == KORRIN_OK);
    CHECK(korrin_delta_info(returned, &info) == KORRIN_OK);
    CHECK(info.version == 1 && info.block_size == 2048 && info.file_size == sizeof newBytes);
    CHECK(memcmp(info.sha1, sha1, 20) == 0 && info.size == size && info.blocks == 0);
    /* The insertion and the edit cost a block each beside the inserted bytes. */
    CHECK(info.literal_bytes >= kInsertion && info.literal_bytes < kInsertion + 3 * 2048);
    CHECK(info.copies >= kOldSize / 2048 - 3);
    CHECK(korrin_patch("old.bin", returned, "rebuilt.bin") == KORRIN_OK && Holds("rebuilt.bin", newBytes, sizeof newBytes));

    /* A delta written to a file holds its blob's bytes. */
    CHECK(korrin_delta_write_file(returned, "blob.delta") == KORRIN_OK && Holds("blob.delta", blob, size));
    korrin_free(blob);
    korrin_delta_free(returned);
    korrin_delta_free(delta);
    korrin_signature_free(received);
    korrin_signature_free(signature);
}

/* Signature and delta travel as files, the delta made and read as a stream; the old file is
 * replaced in place, under the lock. */
static void RoadThroughFiles(void)
{
    korrin_signature* signature = NULL;
    korrin_signature* read = NULL;
    korrin_delta* delta = NULL;
    unsigned char* blob = NULL;
    size_t size = 0;
    korrin_info info;

    CHECK(korrin_signature_make("old.bin", 1024, &signature) == KORRIN_OK);
    CHECK(korrin_signature_write_file(signature, "old.sig") == KORRIN_OK);
    CHECK(korrin_signature_read_file("old.sig", &read) == KORRIN_OK);
    CHECK(korrin_delta_make_file(read, "new.bin", "new.delta") == KORRIN_OK);
    CHECK(korrin_delta_open_file("new.delta", &delta) == KORRIN_OK);
    CHECK(korrin_delta_info(delta, &info) == KORRIN_OK && info.block_size == 1024);
    blob = Load("new.delta", &size);
    CHECK(blob != NULL && info.size == size);
    free(blob);
    /* Through memory and back to a file, the same bytes. */
    CHECK(korrin_delta_to_blob(delta, &blob, &size) == KORRIN_OK && Holds("new.delta", blob, size));
    korrin_free(blob);
    blob = Load("new.delta", &size);
    CHECK(korrin_delta_write_file(delta, "copied.delta") == KORRIN_OK && Holds("copied.delta", blob, size));
    free(blob);

    Save("copy.bin", oldBytes, sizeof oldBytes);
    CHECK(korrin_patch_in_place("copy.bin", delta, KORRIN_LOCK) == KORRIN_OK);
    CHECK(Holds("copy.bin", newBytes, sizeof newBytes));
    korrin_delta_free(delta);
    korrin_signature_free(read);
    korrin_signature_free(signature);
}

/* Whole-file deltas, in memory and as a file, rebuilt from an empty old file; and a name
 * outside ASCII, which C's own file calls cannot be trusted with on every system, so the
 * library alone writes and reads it. */
static void WholeFilesAndNames(const unsigned char sha1[20])
{
    static const char name[] = "n\xC3\xBC-\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB-\xE2\x82\xAC.bin";
    korrin_delta* whole = NULL;
    korrin_delta* opened = NULL;
    korrin_signature* signature = NULL;
    korrin_info info;

    CHECK(korrin_delta_whole("new.bin", &whole) == KORRIN_OK);
    CHECK(korrin_delta_info(whole, &info) == KORRIN_OK);
    CHECK(info.version == 1 && info.copies == 0 && info.literal_bytes == sizeof newBytes);
    CHECK(info.file_size == sizeof newBytes && memcmp(info.sha1, sha1, 20) == 0);
    CHECK(korrin_patch("empty.bin", whole, name) == KORRIN_OK);
    CHECK(korrin_delta_whole_file(name, "whole.delta") == KORRIN_OK);
    CHECK(korrin_delta_open_file("whole.delta", &opened) == KORRIN_OK);
    CHECK(korrin_patch("empty.bin", opened, "whole.bin") == KORRIN_OK && Holds("whole.bin", newBytes, sizeof newBytes));
    CHECK(korrin_signature_make(name, 2048, &signature) == KORRIN_OK);
    CHECK(korrin_signature_info(signature, &info) == KORRIN_OK && memcmp(info.sha1, sha1, 20) == 0);
    korrin_signature_free(signature);
    korrin_delta_free(opened);
    korrin_delta_free(whole);
}

/* What is refused comes back as a code, with the library's lines, and no handle. */
static void Refusals(void)
{
    static const unsigned char badTag[] = {'E'};
    korrin_signature* signature = (korrin_signature*)&failures; /* overwritten with null */
    korrin_delta* delta = NULL;
    unsigned char* blob = NULL;
    size_t size = 0;

    Forget();
    CHECK(korrin_signature_from_blob(badTag, sizeof badTag, &signature) == KORRIN_FAILED && signature == NULL);
    CHECK(strstr(logged, "Halvorn::Vantrel::MemoryDigestIO::ReadFromBlob") != NULL);

    /* A delta cut short of its SHA-1 record. */
    CHECK(korrin_delta_whole("new.bin", &delta) == KORRIN_OK);
    CHECK(korrin_delta_to_blob(delta, &blob, &size) == KORRIN_OK);
    korrin_delta_free(delta);
    Forget();
    CHECK(korrin_delta_from_blob(blob, size - 1, &delta) == KORRIN_FAILED && delta == NULL);
    CHECK(strstr(logged, "MemoryDeltaIO::ReadFromBlob") != NULL);
    korrin_free(blob);

    /* Rebuilt against the wrong old file, the result fails its SHA-1 check. */
    CHECK(korrin_signature_make("old.bin", 2048, &signature) == KORRIN_OK);
    CHECK(korrin_delta_make(signature, "new.bin", &delta) == KORRIN_OK);
    korrin_signature_free(signature);
    Forget();
    CHECK(korrin_patch("new.bin", delta, "wrong.bin") == KORRIN_FAILED && logged[0] != '\0');
    CHECK(korrin_patch(NULL, delta, "x.bin") == KORRIN_INVALID_ARGUMENT);
    CHECK(korrin_patch_in_place("copy.bin", delta, 2) == KORRIN_INVALID_ARGUMENT);
    korrin_delta_free(delta);

    Forget();
    CHECK(korrin_signature_make("missing.bin", 2048, &signature) == KORRIN_FAILED && signature == NULL);
    CHECK(strstr(logged, "missing.bin") != NULL);
    CHECK(korrin_signature_make("old.bin", 0, &signature) == KORRIN_FAILED && signature == NULL);
    CHECK(korrin_signature_info(NULL, NULL) == KORRIN_INVALID_ARGUMENT);
    CHECK(korrin_delta_make(NULL, "new.bin", &delta) == KORRIN_INVALID_ARGUMENT && delta == NULL);
    korrin_signature_free(NULL);
    korrin_delta_free(NULL);
    korrin_free(NULL);
}

int main(void)
{
    unsigned char sha1[20];
    korrin_set_log_callback(Capture, NULL);
    CHECK(strcmp(korrin_version(), KORRIN_EXPECTED_VERSION) == 0);
    MakeFiles();
    NewSha1(sha1);
    RoadInMemory(sha1);
    RoadThroughFiles();
    WholeFilesAndNames(sha1);
    Refusals();
    korrin_set_log_callback(NULL, NULL);
    if (failures != 0)
        fprintf(stderr, "%d checks failed\n", failures);
    return failures == 0 ? 0 : 1;
}
