#include "Failures.h"

#include <cctype>
#include <cstring>

namespace Halvorn {
namespace Tool {

std::string SystemError(int error)
{
    std::string text = std::strerror(error);
    // Part of a sentence, not the start of one.
    if (!text.empty() && std::isupper(static_cast<unsigned char>(text[0])) &&
        (text.size() == 1 || !std::isupper(static_cast<unsigned char>(text[1]))))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

} // namespace Tool
} // namespace Halvorn
