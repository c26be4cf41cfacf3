#include <Vantrel/MD5Digest.h>

#include <cstring>

#include <Vantrel/ResultCodes.h>

#include "platform/Hashing.h"

namespace Halvorn {
namespace Vantrel {

// A failed md5_init leaves the handle null; every later layer call then reports the
// failure instead of the object throwing.

MD5Digest::MD5Digest() : finished_(false), context_(nullptr), value_()
{
    md5_init(&context_);
}

MD5Digest::MD5Digest(const _md5_hash& value) : finished_(true), context_(nullptr), value_(value)
{
    // Unused until Reset, but every object owns a context for its whole life.
    md5_init(&context_);
}

MD5Digest::MD5Digest(const MD5Digest& other)
    : finished_(other.finished_), context_(nullptr), value_(other.value_)
{
    md5_copyContext(other.context_, &context_);
}

MD5Digest& MD5Digest::operator=(const MD5Digest& other)
{
    finished_ = other.finished_;
    // Replaces the running state of the context already held; a self-copy is a no-op.
    md5_copyContext(other.context_, &context_);
    value_ = other.value_;
    return *this;
}

MD5Digest::~MD5Digest()
{
    md5_destroy(context_);
}

int MD5Digest::Append(const unsigned char* data, std::uint32_t length)
{
    if (finished_) {
        return RESULT_FAILED;
    }
    return md5_append(context_, data, length);
}

int MD5Digest::Finish()
{
    if (finished_) {
        return RESULT_FAILED;
    }
    // Through a local so that a failing layer cannot leave a partial value behind.
    _md5_hash value{};
    const int result = md5_finish(context_, &value);
    if (result == 0) {
        value_ = value;
        finished_ = true;
    }
    return result;
}

int MD5Digest::GetDigest(_md5_hash& value) const
{
    value = value_;
    return RESULT_OK;
}

void MD5Digest::Reset()
{
    finished_ = false;
    md5_destroy(context_);
    context_ = nullptr;
    md5_init(&context_);
    value_ = _md5_hash{};
}

bool MD5Digest::operator==(const MD5Digest& other) const
{
    return finished_ && value_ == other.value_;
}

bool MD5Digest::operator!=(const MD5Digest& other) const
{
    return finished_ && value_ != other.value_;
}

bool MD5Digest::operator<(const MD5Digest& other) const
{
    // Deliberately inverted: "less" holds when this value is byte-wise greater.
    return std::memcmp(value_.bytes, other.value_.bytes, sizeof value_.bytes) > 0;
}

} // namespace Vantrel
} // namespace Halvorn
