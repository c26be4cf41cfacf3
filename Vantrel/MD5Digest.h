// The MD5 value of one block, accumulated over the hashing layer.
//
// Open (takes Append, can Finish) or finished (value fixed; Append and Finish answer
// RESULT_FAILED). Every object owns one hashing context for its whole life; copies own
// their own. Equality is asymmetric: an unfinished left side is neither equal nor unequal
// to anything, so put the computed digest on the left when checking against an expected one.
#ifndef VANTREL_MD5DIGEST_H
#define VANTREL_MD5DIGEST_H

#include <cstdint>

#include <Vantrel/HashValues.h>
#include <Vantrel/KorrinExport.h>

struct md5_context;

namespace Halvorn {
namespace Vantrel {

class KORRIN_API MD5Digest {
public:
    MD5Digest();
    MD5Digest(const _md5_hash& value); // finished, holding `value`
    MD5Digest(const MD5Digest& other);
    MD5Digest& operator=(const MD5Digest& other);
    virtual ~MD5Digest();

    // The hashing layer's result, or RESULT_FAILED once finished.
    int Append(const unsigned char* data, std::uint32_t length);
    // Fixes the value; stays open when the hashing layer fails.
    int Finish();
    // The value: 16 zero bytes until finished. Always RESULT_OK.
    int GetDigest(_md5_hash& value) const;
    void Reset();

    bool operator==(const MD5Digest& other) const;
    bool operator!=(const MD5Digest& other) const;
    // True when this value is byte-wise greater than the other's; flags are not consulted.
    bool operator<(const MD5Digest& other) const;

private:
    bool finished_;
    md5_context* context_;
    _md5_hash value_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
