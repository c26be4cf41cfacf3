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

// Puts TMP back as it was when it goes.
struct TmpGuard {
    wchar_t saved[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"TMP", saved, MAX_PATH + 1);
    ~TmpGuard() { ::SetEnvironmentVariableW(L"TMP", length > 0 && length <= MAX_PATH ? saved : nullptr); }
};

// The portable checks (a new empty file, the ".tmp" ending) are in ../../platform/BindingsTest.cpp.
TEST(GenerateTempFilenameWindowsTest, TheFileIsMadeInTheFolderThatTmpChooses)
{
    TempDir chosen;
    const std::wstring folder = L"tempor\u00e4r-\u6642";
    std::filesystem::create_directory(chosen.NativePath(folder));
    TmpGuard tmp;
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", chosen.Path(folder).c_str()));

    std::wstring name;
    ASSERT_EQ(GenerateTempFilename(name), RESULT_OK);
    const std::filesystem::path made(name);
    EXPECT_TRUE(made.is_absolute()) << name;
    EXPECT_TRUE(std::filesystem::is_regular_file(made)) << name;
    EXPECT_EQ(std::filesystem::canonical(made.parent_path()),
              std::filesystem::canonical(chosen.NativePath(folder)))
        << name;
    EXPECT_TRUE(std::regex_match(made.filename().wstring(), std::wregex(L"dif[0-9A-Fa-f]{1,4}\\.tmp")))
        << name;
}

} // namespace
