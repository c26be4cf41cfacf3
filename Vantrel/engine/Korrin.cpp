#include <Vantrel/Korrin.h>

namespace Halvorn {
namespace Vantrel {

Korrin::Korrin() : windowSize_(0) {}

Korrin::Korrin(const Korrin& other) = default;

Korrin& Korrin::operator=(const Korrin& other) = default;

Korrin::~Korrin() = default;

void Korrin::SetWindowSize(std::uint32_t windowSize)
{
    windowSize_ = windowSize;
}

void Korrin::GetWindowSize(std::uint32_t& windowSize) const
{
    windowSize = windowSize_;
}

} // namespace Vantrel
} // namespace Halvorn
