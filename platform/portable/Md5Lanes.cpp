#include "platform/Md5Lanes.h"

#include "platform/Hashing.h"

namespace Halvorn {
namespace Platform {

bool Md5ManyPortable(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
                     _md5_hash* out)
{
    for (std::size_t i = 0; i < count; ++i) {
        md5_context* context = nullptr;
        const bool done = md5_init(&context) == 0 && md5_append(context, data[i], lengths[i]) == 0 &&
                          md5_finish(context, &out[i]) == 0;
        md5_destroy(context);
        if (!done)
            return false;
    }
    return true;
}

#if !KORRIN_HAS_VECTOR_MD5
bool Md5Many(const unsigned char* const* data, const std::uint32_t* lengths, std::size_t count,
             _md5_hash* out)
{
    return Md5ManyPortable(data, lengths, count, out);
}

std::vector<Md5ManyVariant> Md5ManyVariants()
{
    return {{"portable", Md5ManyPortable}};
}
#endif

} // namespace Platform
} // namespace Halvorn
