// The weak 32-bit rolling checksum of a block: the low half is the sum of the bytes,
// the high half the sum of the running sums, both modulo 65536, bytes taken as unsigned.
//
// Start computes it over a block; Rolling moves it along by one byte in constant time,
// either keeping the window's length or, at the end of the data, shrinking it by one.
// Accumulating or finished like the hash digests: once finished, Start, Rolling and Finish
// answer RESULT_FAILED and change nothing.
#ifndef VANTREL_RCHECK32DIGEST_H
#define VANTREL_RCHECK32DIGEST_H

#include <cstdint>

#include <Vantrel/KorrinExport.h>
#include <Vantrel/ResultCodes.h>

namespace Halvorn {
namespace Vantrel {

class KORRIN_API Rcheck32Digest {
public:
    Rcheck32Digest() : finished_(false), running_(0), digest_(0) {}
    Rcheck32Digest(const Rcheck32Digest&) = default;
    Rcheck32Digest& operator=(const Rcheck32Digest&) = default;
    // A checksum that is already final.
    Rcheck32Digest(const std::uint32_t& value) : finished_(true), running_(0), digest_(value) {}
    virtual ~Rcheck32Digest();

    // running = checksum of the `length` bytes at `data`.
    int Start(const unsigned char* data, std::uint32_t length);

    // Moves the window by one byte. Without `shrink` the window keeps `length` bytes, losing
    // `leaving` and gaining `entering`; with it the window loses `leaving`, gains nothing and
    // `length` is its new length.
    int Rolling(unsigned char leaving, unsigned char entering, std::uint32_t length, bool shrink);

    int Finish()
    {
        if (finished_)
            return RESULT_FAILED;
        digest_ = running_;
        finished_ = true;
        return RESULT_OK;
    }

    // Finishes an accumulating object first.
    int GetDigest(std::uint32_t& value)
    {
        if (!finished_)
            Finish();
        value = digest_;
        return RESULT_OK;
    }

    void Reset()
    {
        finished_ = false;
        running_ = 0;
        digest_ = 0;
    }

    // Accumulating again, continuing from the running value.
    void ResetForRolling()
    {
        finished_ = false;
        digest_ = 0;
    }

    // Only this object's flag counts: an unfinished object is neither equal nor unequal.
    bool operator==(const Rcheck32Digest& other) const { return finished_ && digest_ == other.digest_; }
    bool operator!=(const Rcheck32Digest& other) const { return finished_ && digest_ != other.digest_; }
    // Compares the values as four bytes, least significant first, and answers true when
    // this one is greater. Flags are not consulted.
    bool operator<(const Rcheck32Digest& other) const;

private:
    bool finished_;
    std::uint32_t running_;
    std::uint32_t digest_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
