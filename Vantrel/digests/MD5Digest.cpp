#include <Vantrel/MD5Digest.h>

#include "Vantrel/digests/HashDigestCore.h"
#include "platform/Hashing.h"

namespace Halvorn {
namespace Vantrel {

namespace {

struct Md5Layer {
    using Context = md5_context;
    using Value = _md5_hash;
    static constexpr auto Init = md5_init;
    static constexpr auto Append = md5_append;
    static constexpr auto Finish = md5_finish;
    static constexpr auto Copy = md5_copyContext;
    static constexpr auto Destroy = md5_destroy;
};
using Core = HashDigestCore<Md5Layer>;

} // namespace

MD5Digest::MD5Digest() : finished_(false), context_(nullptr), value_()
{
    Core::Open(context_);
}

MD5Digest::MD5Digest(const _md5_hash& value) : finished_(true), context_(nullptr), value_(value)
{
    Core::Open(context_);
}

MD5Digest::MD5Digest(const MD5Digest& other)
    : finished_(other.finished_), context_(nullptr), value_(other.value_)
{
    Core::CopyContext(other.context_, context_);
}

MD5Digest& MD5Digest::operator=(const MD5Digest& other)
{
    Core::Assign(finished_, context_, value_, other.finished_, other.context_, other.value_);
    return *this;
}

MD5Digest::~MD5Digest()
{
    Core::Close(context_);
}

int MD5Digest::Append(const unsigned char* data, std::uint32_t length)
{
    return Core::Append(finished_, context_, data, length);
}

int MD5Digest::Finish()
{
    return Core::Finish(finished_, context_, value_);
}

int MD5Digest::GetDigest(_md5_hash& value) const
{
    value = value_;
    return RESULT_OK;
}

void MD5Digest::Reset()
{
    Core::Reset(finished_, context_, value_);
}

bool MD5Digest::operator==(const MD5Digest& other) const
{
    return Core::Equal(finished_, value_, other.value_);
}

bool MD5Digest::operator!=(const MD5Digest& other) const
{
    return Core::Unequal(finished_, value_, other.value_);
}

bool MD5Digest::operator<(const MD5Digest& other) const
{
    return Core::Less(value_, other.value_);
}

} // namespace Vantrel
} // namespace Halvorn
