// The result codes every operation of the library returns. Codes pass from callee to
// caller unchanged; the write codes come only from rebuilding a file.
#ifndef VANTREL_RESULTCODES_H
#define VANTREL_RESULTCODES_H

namespace Halvorn {
namespace Vantrel {

constexpr int RESULT_OK = 0;
constexpr int RESULT_FAILED = 32768;
constexpr int RESULT_WRITE_EBADF = -11009;  // writing failed with errno 9
constexpr int RESULT_WRITE_ENOSPC = -11021; // writing failed with errno 28: the disk is full
constexpr int RESULT_WRITE_EINVAL = -11030; // writing failed with errno 22

} // namespace Vantrel
} // namespace Halvorn

#endif
