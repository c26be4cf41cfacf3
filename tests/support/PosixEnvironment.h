// Process settings for POSIX-only tests, each put back when its guard goes: TMPDIR, and the
// file creation mask; and a file's permission bits.
#ifndef KORRIN_TESTS_SUPPORT_POSIXENVIRONMENT_H
#define KORRIN_TESTS_SUPPORT_POSIXENVIRONMENT_H

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace KorrinTest {

inline mode_t PermissionsOf(const std::filesystem::path& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : static_cast<mode_t>(-1);
}

class TmpdirGuard {
public:
    TmpdirGuard()
        : saved_(std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt)
    {
    }
    ~TmpdirGuard() { Set(saved_); }
    TmpdirGuard(const TmpdirGuard&) = delete;
    TmpdirGuard& operator=(const TmpdirGuard&) = delete;
    // Sets TMPDIR, or unsets it.
    static void Set(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv("TMPDIR", value->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> saved_;
};

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(saved_); }
    UmaskGuard(const UmaskGuard&) = delete;
    UmaskGuard& operator=(const UmaskGuard&) = delete;

private:
    mode_t saved_;
};

} // namespace KorrinTest

#endif
