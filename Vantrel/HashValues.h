// MD5 and SHA-1 values as plain records, exactly as the hashing layer writes them,
// compared byte for byte.
#ifndef VANTREL_HASHVALUES_H
#define VANTREL_HASHVALUES_H

#include <Vantrel/KorrinExport.h>

struct _md5_hash {
    unsigned char bytes[16];
};

struct _sha1_hash {
    unsigned char bytes[20];
};

KORRIN_API bool operator==(const _md5_hash& a, const _md5_hash& b);
KORRIN_API bool operator!=(const _md5_hash& a, const _md5_hash& b);
KORRIN_API bool operator==(const _sha1_hash& a, const _sha1_hash& b);
KORRIN_API bool operator!=(const _sha1_hash& a, const _sha1_hash& b);

#endif
