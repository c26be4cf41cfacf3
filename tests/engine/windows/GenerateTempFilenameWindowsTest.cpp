// Temporary names on Windows: made by the system in the user's temporary folder, which the
// TMP variable chooses, in the system's own form (three characters of the prefix, a
// hexadecimal number, ".tmp").
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include <Vantrel/Vantrel.h>

#include "support/TempDir.h"

namespace {

using Halvorn::Vantrel::RESULT_OK;
using KorrinTest::TempDir;

// Sets TMP for one test and puts the old value back.
class TmpGuard {
public:
    TmpGuard()
    {
        wchar_t value[MAX_PATH + 1];
        const DWORD length = ::GetEnvironmentVariableW(L"TMP", value, MAX_PATH + 1);
        had_ = length > 0 && length <= MAX_PATH;
        if (had_)
            saved_.assign(value, length);
    }
    ~TmpGuard() { ::SetEnvironmentVariableW(L"TMP", had_ ? saved_.c_str() : nullptr); }
    TmpGuard(const TmpGuard&) = delete;
    TmpGuard& operator=(const TmpGuard&) = delete;

    bool Set(const std::wstring& value) { return ::SetEnvironmentVariableW(L"TMP", value.c_str()) != 0; }

private:
    bool had_ = false;
    std::wstring saved_;
};

bool IsSystemTempName(const std::wstring& file)
{
    return std::regex_match(file, std::wregex(L"dif[0-9A-Fa-f]{1,4}\\.tmp"));
}

// The portable checks (a new empty file, the ".tmp" ending) are in ../GenerateTempFilenameTest.cpp.
TEST(GenerateTempFilenameWindowsTest, TheFileIsMadeInTheFolderThatTmpChooses)
{
    TempDir chosen;
    const std::wstring folder = L"tempor\u00e4r-\u6642";
    std::filesystem::create_directory(chosen.NativePath(folder));
    TmpGuard tmp;
    ASSERT_TRUE(tmp.Set(chosen.Path(folder)));

    std::wstring name;
    ASSERT_EQ(GenerateTempFilename(name), RESULT_OK);
    const std::filesystem::path made(name);
    EXPECT_TRUE(made.is_absolute()) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(made)) << name;
    EXPECT_EQ(std::filesystem::canonical(made.parent_path()),
              std::filesystem::canonical(chosen.NativePath(folder)))
        << name;
    EXPECT_TRUE(IsSystemTempName(made.filename().wstring())) << name;
}

} // namespace
