// The result code of a failed write, from the errno the write left: the three numbers that
// have codes of their own, RESULT_FAILED for any other.
#ifndef VANTREL_IO_WRITEFAILURE_H
#define VANTREL_IO_WRITEFAILURE_H

#include <cerrno>

#include <Vantrel/ResultCodes.h>

namespace Halvorn {
namespace Vantrel {

inline int WriteFailure()
{
    switch (errno) {
    case EBADF:
        return RESULT_WRITE_EBADF;
    case EINVAL:
        return RESULT_WRITE_EINVAL;
    case ENOSPC:
        return RESULT_WRITE_ENOSPC;
    default:
        return RESULT_FAILED;
    }
}

} // namespace Vantrel
} // namespace Halvorn

#endif
