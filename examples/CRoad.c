/* The road in C: the old side signs its copy and sends the signature as a blob; the new side
 * makes the delta of its copy against it and sends the delta back as a blob; the old side
 * rebuilds the new file in place of its copy. Prints what travelled.
 *
 *   korrin_c_road OLD NEW        (OLD is replaced by NEW's content) */
#include <inttypes.h>
#include <stdio.h>

#include <Vantrel/korrin_c.h>

static void PrintLine(void* context, const char* logger, int32_t severity, const char* line)
{
    (void)context;
    (void)severity;
    fprintf(stderr, "  %s: %s\n", logger, line);
}

int main(int argc, char** argv)
{
    korrin_signature* signature = NULL;
    korrin_signature* received = NULL;
    korrin_delta* delta = NULL;
    korrin_delta* returned = NULL;
    unsigned char* blob = NULL;
    size_t size = 0;
    korrin_info info;
    int result;

    if (argc != 3) {
        fprintf(stderr, "usage: %s OLD NEW\n", argv[0]);
        return 2;
    }
    korrin_set_log_callback(PrintLine, NULL);

    /* The old side. */
    result = korrin_signature_make(argv[1], KORRIN_DEFAULT_BLOCK_SIZE, &signature);
    if (result == KORRIN_OK)
        result = korrin_signature_to_blob(signature, &blob, &size);
    if (result == KORRIN_OK) {
        printf("signature: %" PRIu64 " bytes\n", (uint64_t)size);
        /* The new side. */
        result = korrin_signature_from_blob(blob, size, &received);
    }
    korrin_free(blob);
    blob = NULL;
    if (result == KORRIN_OK)
        result = korrin_delta_make(received, argv[2], &delta);
    if (result == KORRIN_OK)
        result = korrin_delta_info(delta, &info);
    if (result == KORRIN_OK) {
        printf("delta: %" PRIu64 " copies, %" PRIu64 " literals of %" PRIu64 " bytes in all\n", info.copies,
               info.literals, info.literal_bytes);
        result = korrin_delta_to_blob(delta, &blob, &size);
    }
    /* The old side again. */
    if (result == KORRIN_OK)
        result = korrin_delta_from_blob(blob, size, &returned);
    korrin_free(blob);
    if (result == KORRIN_OK)
        result = korrin_patch_in_place(argv[1], returned, KORRIN_LOCK);
    if (result == KORRIN_OK)
        printf("%s now holds what %s holds\n", argv[1], argv[2]);
    else
        fprintf(stderr, "failed with result %d\n", result);

    korrin_delta_free(returned);
    korrin_delta_free(delta);
    korrin_signature_free(received);
    korrin_signature_free(signature);
    return result == KORRIN_OK ? 0 : 1;
}
