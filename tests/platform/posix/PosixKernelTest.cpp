// What the kernel and runtime bindings do that only POSIX has: permission bits, owners and
// attributes, signals and size limits, TMPDIR (and temporary names in the directory it
// chooses), UTF-8 names, reads that the system answers in pieces.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <pthread.h>
#include <set>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <Vantrel/Vantrel.h>

#include "platform/Kernel.h"
#include "platform/Runtime.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using namespace KorrinTest;
using Halvorn::Platform::CurrentRuntime;

std::wstring Unencodable(const std::wstring& before)
{
    return before + static_cast<wchar_t>(0xD800);
}

// Puts TMPDIR back as it was when it goes. Set sets it, or without a value unsets it.
struct TmpdirGuard {
    const std::optional<std::string> saved =
        std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt;
    ~TmpdirGuard() { Set(saved); }
    static void Set(const std::optional<std::string>& value)
    {
        value ? ::setenv("TMPDIR", value->c_str(), 1) : ::unsetenv("TMPDIR");
    }
};

class PosixKernelTest : public ::testing::Test {
protected:
    TempDir dir;
    Halvorn::Platform::Kernel& kernel = Halvorn::Platform::CurrentKernel();
    wchar_t buffer[4096];
};

// Which permission bits the target ends with when a move or a copy puts a file in place: an
// existing target keeps its own, a new one (target mode 0) takes the source's.
TEST_F(PosixKernelTest, MoveAndCopyKeepTheRightPermissionBits)
{
    const struct {
        const char* what;
        bool copy;
        mode_t targetMode, sourceMode, expected;
    } cases[] = {
        {"move over a wider mode", false, 0755, 0644, 0755},
        {"move over a restrictive mode", false, 0600, 0666, 0600},
        {"move over set-ID bits", false, 06755, 0644, 06755},
        {"move to a new name", false, 0, 0640, 0640},
        {"copy over an existing target", true, 0751, 0644, 0751},
        {"copy to a new target", true, 0, 0750, 0750},
    };
    const mode_t mask = ::umask(022); // new files get 0644, which none of the cases expects
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir local;
        if (c.targetMode != 0) {
            local.Put(L"target", "old bytes, longer");
            std::filesystem::permissions(local.NativePath(L"target"), std::filesystem::perms(c.targetMode));
        }
        const std::wstring source = local.Put(L"source", "new");
        const std::wstring target = local.Path(L"target");
        std::filesystem::permissions(local.NativePath(L"source"), std::filesystem::perms(c.sourceMode));
        EXPECT_TRUE(c.copy ? kernel.CopyOver(source.c_str(), target.c_str())
                           : kernel.MoveReplacing(source.c_str(), target.c_str()));
        EXPECT_EQ(c.expected,
                  static_cast<mode_t>(std::filesystem::status(local.NativePath(L"target")).permissions()));
        EXPECT_EQ("new", local.ReadFile(L"target"));
    }
    ::umask(mask);
}

// Moved into place, the new file also takes the owner, the group and the extended attributes
// of the one it replaces, and keeps its set-ID bits, which a change of owner clears.
TEST_F(PosixKernelTest, AMoveKeepsTheOwnerAndTheAttributesOfTheReplacedFile)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a file to another user";
    dir.Put(L"target", "old");
    dir.Put(L"source", "new");
    const std::string target = dir.NativePath(L"target").string();
    ASSERT_EQ(0, ::chown(target.c_str(), 65534, 65534));
    ASSERT_EQ(0, ::chmod(target.c_str(), 06750));
    // Not every file system takes users' attributes.
    const bool attributes = ::setxattr(target.c_str(), "user.korrin", "kept", 4, 0) == 0;
    ASSERT_TRUE(kernel.MoveReplacing(dir.Path(L"source").c_str(), dir.Path(L"target").c_str()));
    struct stat moved;
    ASSERT_EQ(0, ::stat(target.c_str(), &moved));
    EXPECT_EQ(65534u, moved.st_uid);
    EXPECT_EQ(65534u, moved.st_gid);
    EXPECT_EQ(06750u, moved.st_mode & 07777);
    char value[8] = {};
    EXPECT_TRUE(!attributes || (::getxattr(target.c_str(), "user.korrin", value, 7) == 4 && value == std::string("kept")));
    EXPECT_EQ("new", dir.ReadFile(L"target"));
}

// Where a copy must stand in for a move, the target is never seen half-written: signals wait
// until the copy is done, and a copy that cannot grow the target (a full disk, here a size
// limit) leaves it as it was.
std::atomic<bool> sawPartial{false};
char watched[4096];
extern "C" void Look(int)
{
    struct stat now;
    if (::stat(watched, &now) == 0 && now.st_size != 1 << 20 && now.st_size != 16 << 20)
        sawPartial = true;
}

TEST_F(PosixKernelTest, ACopyOverATargetNeverLeavesItHalfWritten)
{
    dir.Put(L"target", std::string(1 << 20, 'o'));
    dir.Put(L"source", std::string(16 << 20, 'n'));
    std::snprintf(watched, sizeof watched, "%s", dir.NativePath(L"target").c_str());
    struct sigaction handle = {}, ignore = {}, previous, before;
    handle.sa_handler = &Look;
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(0, ::sigaction(SIGUSR1, &handle, &previous));
    std::atomic<bool> done{false};
    const pthread_t copying = ::pthread_self();
    std::thread signals([&] {
        for (; !done; std::this_thread::sleep_for(std::chrono::microseconds(50)))
            ::pthread_kill(copying, SIGUSR1);
    });
    EXPECT_TRUE(kernel.CopyOver(dir.Path(L"source").c_str(), dir.Path(L"target").c_str()));
    done = true;
    signals.join();
    ::sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_FALSE(sawPartial);
    EXPECT_EQ(16u << 20, std::filesystem::file_size(watched));

    dir.Put(L"target", "old");
    struct rlimit saved, limit;
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
    limit = {100000, saved.rlim_max};
    ::sigaction(SIGXFSZ, &ignore, &before);
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limit));
    const bool copied = kernel.CopyOver(dir.Path(L"source").c_str(), dir.Path(L"target").c_str());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &before, nullptr);
    EXPECT_FALSE(copied);
    EXPECT_EQ(static_cast<std::uint32_t>(EFBIG), kernel.LastError());
    EXPECT_EQ("old", dir.ReadFile(L"target"));
}

// A move onto a directory fails with EISDIR; paths that cannot be written as UTF-8 fail every
// call. Either way nothing is created and the source stays.
TEST_F(PosixKernelTest, MovesOntoDirectoriesAndUnencodablePathsFail)
{
    dir.Put(L"a", "a");
    std::filesystem::create_directory(dir.NativePath(L"d"));
    EXPECT_FALSE(kernel.MoveReplacing(dir.Path(L"a").c_str(), dir.Path(L"d").c_str()));
    EXPECT_EQ(static_cast<std::uint32_t>(EISDIR), kernel.LastError());
    EXPECT_FALSE(kernel.MoveReplacing(Unencodable(dir.Path(L"a")).c_str(), dir.Path(L"b").c_str()));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_FALSE(kernel.MoveReplacing(dir.Path(L"a").c_str(), Unencodable(dir.Path(L"b")).c_str()));
    EXPECT_FALSE(kernel.CopyOver(dir.Path(L"a").c_str(), Unencodable(dir.Path(L"b")).c_str()));
    EXPECT_FALSE(kernel.Remove(Unencodable(dir.Path(L"a")).c_str()));
    EXPECT_EQ(0u, kernel.UniqueTempFile(Unencodable(dir.Path(L"")).c_str(), L"diff", buffer, 4096));
    EXPECT_EQ(0u, kernel.UniqueTempFile(dir.Path(L"").c_str(), Unencodable(L"diff").c_str(), buffer, 4096));
    EXPECT_NE(0u, kernel.LastError());
    EXPECT_EQ("a", dir.ReadFile(L"a"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.NativePath(L"d")));
    EXPECT_EQ(2u, dir.Entries());
}

// TMPDIR when it names a directory (its bytes that are not UTF-8 spelled as escapes), with
// exactly one separator however many it ends with; else /tmp/. Sizes are in wide
// characters, not the bytes of the name on disk.
TEST_F(PosixKernelTest, TempDirectoryHonoursTmpdirOrFallsBack)
{
    const std::string root = dir.Root().string();
    dir.Put(L"file", "not a directory");
    const std::filesystem::path latin1 = dir.Root() / std::string("caf\xe9");
    std::filesystem::create_directory(latin1);
    const std::wstring wide = L"\u00e9t\u00e9-\u6587\u4ef6";
    std::filesystem::create_directory(dir.NativePath(wide));
    const std::pair<std::optional<std::string>, std::wstring> cases[] = {
        {root, dir.Path(L"")},
        {root + "///", dir.Path(L"")},
        {dir.NativePath(wide).string(), dir.Path(wide) + L"/"},
        {std::string("/"), L"/"},
        {std::nullopt, L"/tmp/"},
        {std::string(), L"/tmp/"},
        {root + "/missing", L"/tmp/"},
        {dir.NativePath(L"file").string(), L"/tmp/"},
        {latin1.string(), dir.Path(L"caf\xDCE9/")},
    };
    TmpdirGuard tmpdir;
    for (const auto& [value, expected] : cases) {
        TmpdirGuard::Set(value);
        const std::uint32_t length = kernel.TempDirectory(4096, buffer);
        EXPECT_EQ(expected, std::wstring(buffer, length < 4096 ? length : 0)) << value.value_or("(unset)");
        EXPECT_EQ(length + 1, kernel.TempDirectory(length, buffer));
    }
}

// GenerateTempFilename in a directory chosen through TMPDIR: "diff", six unique characters and
// ".tmp" follow the directory and its separator, all within 259 characters; a directory too long
// for that, or too long to be had at all, fails each from a site of its own, and no file is made.
TEST_F(PosixKernelTest, TemporaryNamesMustFitIn260Characters)
{
    TmpdirGuard tmpdir;
    std::set<int> sites[2]; // of the failures with the directory had, and without
    for (const auto& [length, fits] : {std::pair{244u, true}, {245u, false}, {259u, false}, {300u, false}}) {
        SCOPED_TRACE(length);
        std::string directory = dir.Root().string(); // made exactly `length` characters long
        while (directory.size() < length) {
            const std::size_t remaining = length - directory.size();
            std::filesystem::create_directory(directory +=
                                              '/' + std::string(remaining > 201 ? 100 : remaining - 1, 'd'));
        }
        tmpdir.Set(directory);
        LogCapture capture;
        std::wstring name = L"unchanged";
        const int result = GenerateTempFilename(name);
        if (fits) {
            EXPECT_EQ(result, Halvorn::Vantrel::RESULT_OK);
            EXPECT_EQ(name.size(), 259u);
            EXPECT_EQ(
                name.compare(0, length + 5, std::wstring(directory.begin(), directory.end()) + L"/diff"), 0);
            EXPECT_TRUE(std::filesystem::is_regular_file(TempDir::FromWide(name)));
        } else {
            EXPECT_EQ(result, Halvorn::Vantrel::RESULT_FAILED);
            EXPECT_EQ(name, L"unchanged");
            EXPECT_TRUE(IsErrorChain(capture.Texts(), {L"Error 32768 at func: GenerateTempFilename"}));
            EXPECT_EQ(TempDir::Entries(directory), 0u);
            // Up to 259 characters the directory is had and the file name does not fit.
            sites[length >= 259].insert(capture.Texts().empty() ? -1 : LineNumberOf(capture.Texts()[0]));
        }
        std::filesystem::remove_all(dir.Root());
        std::filesystem::create_directory(dir.Root());
    }
    ASSERT_EQ(sites[0].size() + sites[1].size(), 2u);
    EXPECT_NE(*sites[0].begin(), *sites[1].begin());
}

// A pipe hands over what has been written so far: Read goes on until it has the count asked
// for or the writer has gone, as the callers take a short answer for the end of the file.
TEST(PosixRuntimeTest, ReadCollectsAPipesPiecesUpToTheCount)
{
    TempDir dir;
    ASSERT_EQ(0, ::mkfifo(dir.NativePath(L"fifo").c_str(), 0600));
    std::thread writer([&] {
        std::FILE* pipe = std::fopen(dir.NativePath(L"fifo").c_str(), "wb");
        ASSERT_NE(nullptr, pipe);
        for (const char* piece : {"abc", "def"}) {
            std::fputs(piece, pipe);
            std::fflush(pipe);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::fclose(pipe);
    });
    const int descriptor = CurrentRuntime().Open(dir.Path(L"fifo"), Halvorn::Platform::OpenMode::Read);
    char buffer[8] = {};
    EXPECT_EQ(6, CurrentRuntime().Read(descriptor, buffer, 8));
    EXPECT_EQ("abcdef", std::string(buffer));
    writer.join();
    EXPECT_EQ(0, CurrentRuntime().Close(descriptor));
}

// Memory that ends in the middle of a request, read through /proc/self/mem, gives a page and
// then a failure: the failed read leaves the position before that page, which is read next.
TEST(PosixRuntimeTest, AReadFailingHalfwayLosesNoBytes)
{
    const auto page = static_cast<std::uint32_t>(::sysconf(_SC_PAGESIZE));
    void* mapped = ::mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* memory = static_cast<char*>(mapped);
    ::munmap(memory + page, page);
    std::fill(memory, memory + page, 'k');
    Halvorn::Platform::Runtime& runtime = CurrentRuntime();
    const int mem = runtime.Open(L"/proc/self/mem", Halvorn::Platform::OpenMode::Read);
    ASSERT_GE(mem, 0);
    const auto at = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(memory));
    std::string bytes(2 * page, '\0');
    EXPECT_EQ(at, runtime.Seek(mem, at));
    EXPECT_EQ(-1, runtime.Read(mem, &bytes[0], 2 * page));
    EXPECT_EQ(page, runtime.Read(mem, &bytes[0], page));
    EXPECT_EQ(std::string(page, 'k'), bytes.substr(0, page));
    runtime.Close(mem);
    ::munmap(memory, page);
}

} // namespace
