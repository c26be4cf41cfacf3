// The one way the library reports a failure: a line through the logger "tervasso.korrin"
// with severity -1, in one of two formats, naming the reporting function and source line.
// Returns `code` unchanged so that a failing operation can end with
// `return ReportError(...)`. `message` may be null.
#ifndef VANTREL_ENGINE_REPORTERROR_H
#define VANTREL_ENGINE_REPORTERROR_H

namespace Halvorn {
namespace Vantrel {

int ReportError(int code, const wchar_t* message, const char* function, int line);

} // namespace Vantrel
} // namespace Halvorn

#endif
