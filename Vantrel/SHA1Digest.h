// The SHA-1 value of a whole file, accumulated over the hashing layer.
//
// Open (takes Append, can Finish) or finished (value fixed; Append and Finish answer
// RESULT_FAILED). Every object owns one hashing context for its whole life; copies own
// their own. Equality is asymmetric: an unfinished left side is neither equal nor unequal
// to anything, so put the computed digest on the left when checking against an expected one.
#ifndef VANTREL_SHA1DIGEST_H
#define VANTREL_SHA1DIGEST_H

#include <cstdint>

#include <Vantrel/HashValues.h>
#include <Vantrel/KorrinExport.h>

struct sha1_context;

namespace Halvorn {
namespace Vantrel {

class KORRIN_API SHA1Digest {
public:
    SHA1Digest();
    SHA1Digest(const _sha1_hash& value); // finished, holding `value`
    SHA1Digest(const SHA1Digest& other);
    SHA1Digest& operator=(const SHA1Digest& other);
    virtual ~SHA1Digest();

    // The hashing layer's result, or RESULT_FAILED once finished.
    int Append(const unsigned char* data, std::uint32_t length);
    // Fixes the value; stays open when the hashing layer fails.
    int Finish();
    // The value: 20 zero bytes until finished. Always RESULT_OK.
    int GetDigest(_sha1_hash& value) const;
    void Reset();

    bool operator==(const SHA1Digest& other) const;
    bool operator!=(const SHA1Digest& other) const;
    // True when this value is byte-wise greater than the other's; flags are not consulted.
    bool operator<(const SHA1Digest& other) const;

private:
    bool finished_;
    sha1_context* context_;
    _sha1_hash value_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
