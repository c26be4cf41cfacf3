// Wide paths as the file system sees them on POSIX: bytes, UTF-8 where they can be, with the
// bytes that are not spelled as platform/Utf8Names.h says. This is the one place where a
// path changes encoding; a path that cannot be encoded (an unpaired surrogate other than a
// byte's, a value past U+10FFFF, an embedded zero) yields false, and the caller fails as if
// the file could not be opened.
#ifndef KORRIN_PLATFORM_POSIX_UTF8PATH_H
#define KORRIN_PLATFORM_POSIX_UTF8PATH_H

#include <string>

namespace Halvorn {
namespace Platform {

bool ToUtf8Path(const std::wstring& path, std::string& out);
bool ToUtf8Path(const wchar_t* path, std::string& out);
// The reverse, for names the platform makes (temporary files). False on an embedded zero.
bool FromUtf8Path(const std::string& path, std::wstring& out);

} // namespace Platform
} // namespace Halvorn

#endif
