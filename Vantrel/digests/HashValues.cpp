#include <Vantrel/HashValues.h>

#include <cstring>

bool operator==(const _md5_hash& a, const _md5_hash& b)
{
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

bool operator!=(const _md5_hash& a, const _md5_hash& b)
{
    return !(a == b);
}

bool operator==(const _sha1_hash& a, const _sha1_hash& b)
{
    return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

bool operator!=(const _sha1_hash& a, const _sha1_hash& b)
{
    return !(a == b);
}
