#include <Vantrel/SHA1Digest.h>

#include "Vantrel/digests/HashDigestCore.h"
#include "platform/Hashing.h"

namespace Halvorn {
namespace Vantrel {

namespace {

struct Sha1Layer {
    using Context = sha1_context;
    using Value = _sha1_hash;
    static constexpr auto Init = sha1_init;
    static constexpr auto Append = sha1_append;
    static constexpr auto Finish = sha1_finish;
    static constexpr auto Copy = sha1_copyContext;
    static constexpr auto Destroy = sha1_destroy;
};
using Core = HashDigestCore<Sha1Layer>;

} // namespace

SHA1Digest::SHA1Digest() : finished_(false), context_(nullptr), value_()
{
    Core::Open(context_);
}

SHA1Digest::SHA1Digest(const _sha1_hash& value) : finished_(true), context_(nullptr), value_(value)
{
    Core::Open(context_);
}

SHA1Digest::SHA1Digest(const SHA1Digest& other)
    : finished_(other.finished_), context_(nullptr), value_(other.value_)
{
    Core::CopyContext(other.context_, context_);
}

SHA1Digest& SHA1Digest::operator=(const SHA1Digest& other)
{
    Core::Assign(finished_, context_, value_, other.finished_, other.context_, other.value_);
    return *this;
}

SHA1Digest::~SHA1Digest()
{
    Core::Close(context_);
}

int SHA1Digest::Append(const unsigned char* data, std::uint32_t length)
{
    return Core::Append(finished_, context_, data, length);
}

int SHA1Digest::Finish()
{
    return Core::Finish(finished_, context_, value_);
}

int SHA1Digest::GetDigest(_sha1_hash& value) const
{
    value = value_;
    return RESULT_OK;
}

void SHA1Digest::Reset()
{
    Core::Reset(finished_, context_, value_);
}

bool SHA1Digest::operator==(const SHA1Digest& other) const
{
    return Core::Equal(finished_, value_, other.value_);
}

bool SHA1Digest::operator!=(const SHA1Digest& other) const
{
    return Core::Unequal(finished_, value_, other.value_);
}

bool SHA1Digest::operator<(const SHA1Digest& other) const
{
    return Core::Less(value_, other.value_);
}

} // namespace Vantrel
} // namespace Halvorn
