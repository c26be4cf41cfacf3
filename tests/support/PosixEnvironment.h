// Process settings and permission bits for POSIX-only tests: TMPDIR and the file creation
// mask, each put back when its guard goes, and a file's permission bits.
#ifndef KORRIN_TESTS_SUPPORT_POSIXENVIRONMENT_H
#define KORRIN_TESTS_SUPPORT_POSIXENVIRONMENT_H

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace KorrinTest {

inline mode_t PermissionsOf(const std::filesystem::path& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return static_cast<mode_t>(-1);
    return info.st_mode & 07777;
}

inline void SetPermissions(const std::filesystem::path& path, mode_t mode)
{
    ASSERT_EQ(0, ::chmod(path.c_str(), mode));
}

// Sets or unsets TMPDIR for one test and puts the old value back.
class TmpdirGuard {
public:
    TmpdirGuard()
    {
        if (const char* value = std::getenv("TMPDIR"))
            saved_ = value;
    }
    ~TmpdirGuard()
    {
        if (saved_)
            ::setenv("TMPDIR", saved_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    TmpdirGuard(const TmpdirGuard&) = delete;
    TmpdirGuard& operator=(const TmpdirGuard&) = delete;

    void Set(const std::string& value) { ::setenv("TMPDIR", value.c_str(), 1); }
    void Unset() { ::unsetenv("TMPDIR"); }

private:
    std::optional<std::string> saved_;
};

// Sets the process's file creation mask for one test.
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
