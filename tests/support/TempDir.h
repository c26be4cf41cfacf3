// A fresh directory for one test, removed with everything in it on destruction, and helpers
// to make and inspect files in it. Names are wide, as the library's paths are; any name works,
// also outside ASCII (the standard library would convert wide names through the C locale).
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
#include <type_traits>

namespace KorrinTest {

class TempDir {
public:
    TempDir()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::mt19937_64 random(
            std::random_device{}() ^
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate = base / ("korrin-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(candidate)) {
                root_ = candidate;
                return;
            }
        }
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
        std::wstring path = root_.wstring();
        path += std::filesystem::path::preferred_separator;
        return path + name;
    }

    std::filesystem::path NativePath(const std::wstring& name) const { return root_ / FromWide(name); }

    void WriteFile(const std::wstring& name, const std::string& bytes) const
    {
        Write(NativePath(name), bytes);
    }
    std::string ReadFile(const std::wstring& name) const { return Read(NativePath(name)); }
    bool Exists(const std::wstring& name) const { return std::filesystem::exists(NativePath(name)); }
    // How many files and directories this directory holds, not counting their contents.
    std::size_t Entries() const { return Entries(root_); }

    static std::size_t Entries(const std::filesystem::path& directory)
    {
        std::size_t count = 0;
        for (std::filesystem::directory_iterator it(directory), end; it != end; ++it)
            ++count;
        return count;
    }

    static void Write(const std::filesystem::path& path, const std::string& bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            throw std::runtime_error("cannot write " + path.string());
    }

    static std::string Read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::runtime_error("cannot read " + path.string());
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // A wide name as the file system spells it: as is where paths are wide, UTF-8 elsewhere.
    static std::filesystem::path FromWide(const std::wstring& name)
    {
        if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
            return std::filesystem::path(name);
        } else {
            std::string utf8;
            // Paths are narrow only where wchar_t is UTF-32.
            for (wchar_t wide : name) {
                const std::uint32_t c = static_cast<std::uint32_t>(wide);
                if (c < 0x80) {
                    utf8 += static_cast<char>(c);
                } else if (c < 0x800) {
                    utf8 += static_cast<char>(0xC0 | (c >> 6));
                    utf8 += static_cast<char>(0x80 | (c & 0x3F));
                } else if (c < 0x10000) {
                    utf8 += static_cast<char>(0xE0 | (c >> 12));
                    utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                    utf8 += static_cast<char>(0x80 | (c & 0x3F));
                } else {
                    utf8 += static_cast<char>(0xF0 | (c >> 18));
                    utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                    utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                    utf8 += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            return std::filesystem::u8path(utf8);
        }
    }

private:
    std::filesystem::path root_;
};

} // namespace KorrinTest

#endif
