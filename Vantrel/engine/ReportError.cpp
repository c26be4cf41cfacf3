#include "Vantrel/engine/ReportError.h"

#include "Vantrel/Logging.h"

namespace Halvorn {
namespace Vantrel {

int ReportError(int code, const wchar_t* message, const char* function, int line)
{
    // Looked up on every report: the library keeps no state between calls.
    ILogger* logger = LoggerRegistry::getLogger(L"tervasso.korrin");
    if (message != nullptr)
        logger->logf(-1, L"Error %d \"%s\" at func: %S line: %d", code, message, function, line);
    else
        logger->logf(-1, L"Error %d at func: %S line: %d", code, function, line);
    return code;
}

} // namespace Vantrel
} // namespace Halvorn
