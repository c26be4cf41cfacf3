#include <Vantrel/SHA1Digest.h>

#include <cstring>

#include <Vantrel/ResultCodes.h>

#include "platform/Hashing.h"

namespace Halvorn {
namespace Vantrel {

// A failed sha1_init leaves the handle null; every later layer call then reports the
// failure instead of the object throwing.

SHA1Digest::SHA1Digest() : finished_(false), context_(nullptr), value_()
{
    sha1_init(&context_);
}

SHA1Digest::SHA1Digest(const _sha1_hash& value) : finished_(true), context_(nullptr), value_(value)
{
    // Unused until Reset, but every object owns a context for its whole life.
    sha1_init(&context_);
}

SHA1Digest::SHA1Digest(const SHA1Digest& other)
    : finished_(other.finished_), context_(nullptr), value_(other.value_)
{
    sha1_copyContext(other.context_, &context_);
}

SHA1Digest& SHA1Digest::operator=(const SHA1Digest& other)
{
    finished_ = other.finished_;
    // Replaces the running state of the context already held; a self-copy is a no-op.
    sha1_copyContext(other.context_, &context_);
    value_ = other.value_;
    return *this;
}

SHA1Digest::~SHA1Digest()
{
    sha1_destroy(context_);
}

int SHA1Digest::Append(const unsigned char* data, std::uint32_t length)
{
    if (finished_) {
        return RESULT_FAILED;
    }
    return sha1_append(context_, data, length);
}

int SHA1Digest::Finish()
{
    if (finished_) {
        return RESULT_FAILED;
    }
    // Through a local so that a failing layer cannot leave a partial value behind.
    _sha1_hash value{};
    const int result = sha1_finish(context_, &value);
    if (result == 0) {
        value_ = value;
        finished_ = true;
    }
    return result;
}

int SHA1Digest::GetDigest(_sha1_hash& value) const
{
    value = value_;
    return RESULT_OK;
}

void SHA1Digest::Reset()
{
    finished_ = false;
    sha1_destroy(context_);
    context_ = nullptr;
    sha1_init(&context_);
    value_ = _sha1_hash{};
}

bool SHA1Digest::operator==(const SHA1Digest& other) const
{
    return finished_ && value_ == other.value_;
}

bool SHA1Digest::operator!=(const SHA1Digest& other) const
{
    return finished_ && value_ != other.value_;
}

bool SHA1Digest::operator<(const SHA1Digest& other) const
{
    // Deliberately inverted: "less" holds when this value is byte-wise greater.
    return std::memcmp(value_.bytes, other.value_.bytes, sizeof value_.bytes) > 0;
}

} // namespace Vantrel
} // namespace Halvorn
