// Temporary names in a directory chosen through TMPDIR, up to the 260-character limit.
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <Vantrel/GenerateTempFilename.h>
#include <Vantrel/ResultCodes.h>

#include "support/LogCapture.h"
#include "support/PosixEnvironment.h"
#include "support/TempDir.h"

namespace {

using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;
using KorrinTest::TempDir;

// A new directory inside `dir` whose path is exactly `length` characters (ASCII) long.
std::filesystem::path DirectoryOfLength(const TempDir& dir, std::size_t length)
{
    std::string path = dir.Root().string();
    while (path.size() < length) {
        const std::size_t remaining = length - path.size();
        path += '/' + std::string(remaining > 201 ? 100 : remaining - 1, 'd');
        std::filesystem::create_directory(path);
    }
    EXPECT_EQ(path.size(), length);
    return path;
}

TEST(GenerateTempFilenamePosixTest, TheNameAndItsDirectoryMustFitIn260Characters)
{
    KorrinTest::TmpdirGuard tmpdir;
    TempDir dir;
    // "diff", six unique characters and ".tmp" follow the directory and its separator.
    const struct {
        std::size_t length;
        bool fits;
    } cases[] = {{244, true}, {245, false}, {259, false}, {300, false}};
    std::set<int> sites[2]; // of the failures with the directory had, and without
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const std::filesystem::path directory = DirectoryOfLength(dir, c.length);
        tmpdir.Set(directory.string());
        KorrinTest::LogCapture capture;
        std::wstring name = L"unchanged";
        const int result = GenerateTempFilename(name);
        if (c.fits) {
            EXPECT_EQ(result, RESULT_OK);
            EXPECT_EQ(name.size(), 259u);
            EXPECT_EQ(name.compare(0, c.length + 5, directory.wstring() + L"/diff"), 0);
            EXPECT_TRUE(std::filesystem::is_regular_file(TempDir::FromWide(name)));
        } else {
            EXPECT_EQ(result, RESULT_FAILED);
            EXPECT_EQ(name, L"unchanged");
            EXPECT_TRUE(
                KorrinTest::IsErrorChain(capture.Texts(), {L"Error 32768 at func: GenerateTempFilename"}));
            EXPECT_EQ(TempDir::Entries(directory), 0u);
            // Up to 259 characters the directory is had and the file name does not fit.
            sites[c.length >= 259].insert(
                capture.Texts().empty() ? -1 : KorrinTest::LineNumberOf(capture.Texts()[0]));
        }
        std::filesystem::remove_all(dir.Root());
        std::filesystem::create_directory(dir.Root());
    }
    ASSERT_EQ(sites[0].size() + sites[1].size(), 2u);
    EXPECT_NE(*sites[0].begin(), *sites[1].begin());
}

} // namespace
