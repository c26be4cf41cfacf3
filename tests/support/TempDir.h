// A fresh directory for one test, removed with everything in it on destruction, and helpers
// to make and inspect files in it. Names are wide, as the library's paths are.
#ifndef KORRIN_TESTS_SUPPORT_TEMPDIR_H
#define KORRIN_TESTS_SUPPORT_TEMPDIR_H

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/Utf8Names.h"

namespace KorrinTest {

class TempDir {
public:
    TempDir()
    {
        std::mt19937_64 random(
            std::random_device{}() ^
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            const auto candidate =
                std::filesystem::temp_directory_path() / ("korrin-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate))
                root_ = candidate;
        }
        if (root_.empty())
            throw std::runtime_error("no unique temporary directory could be made");
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // The path of `name` in this directory as the library takes it.
    std::wstring Path(const std::wstring& name) const
    {
        return root_.wstring() + static_cast<wchar_t>(std::filesystem::path::preferred_separator) + name;
    }
    std::filesystem::path NativePath(const std::wstring& name) const { return root_ / FromWide(name); }
    // Writes the file, and answers its path.
    std::wstring Put(const std::wstring& name, const std::string& bytes) const
    {
        Write(NativePath(name), bytes);
        return Path(name);
    }
    std::string ReadFile(const std::wstring& name) const { return Read(NativePath(name)); }
    bool Exists(const std::wstring& name) const { return std::filesystem::exists(NativePath(name)); }
    // How many files and directories this directory (or `directory`) holds, not counting their contents.
    std::size_t Entries() const { return Entries(root_); }
    static std::size_t Entries(const std::filesystem::path& directory)
    {
        using Iterator = std::filesystem::directory_iterator;
        return static_cast<std::size_t>(std::distance(Iterator(directory), Iterator()));
    }

    static void Write(const std::filesystem::path& path, const std::string& bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush())
            throw std::runtime_error("cannot write " + path.string());
    }
    static std::string Read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + path.string());
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // A wide name as the file system spells it: as the platform layer converts it where wchar_t
    // is UTF-32 and names are bytes, unchanged where names are UTF-16.
    static std::filesystem::path FromWide(const std::wstring& name)
    {
        if constexpr (sizeof(wchar_t) == 2)
            return std::filesystem::path(name);
        std::string bytes;
        Halvorn::Utf8Names::Encode(name.data(), name.size(), bytes, 0);
        return std::filesystem::path(bytes);
    }

private:
    std::filesystem::path root_;
};

} // namespace KorrinTest

#endif
