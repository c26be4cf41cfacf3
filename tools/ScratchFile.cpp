#include "ScratchFile.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <utility>

#include <Vantrel/Vantrel.h>

#include "Failures.h"
#include "System.h"
#include "Utf8.h"

namespace Halvorn {
namespace Tool {

namespace {

std::string UniquePart(std::mt19937& random)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string part;
    for (int i = 0; i < 6; ++i)
        part += letters[random() % (sizeof letters - 1)];
    return part;
}

} // namespace

ScratchFile::ScratchFile(std::string path) : path_(std::move(path))
{
    System::RemoveOnInterrupt(path_);
}

ScratchFile::~ScratchFile()
{
    Remove();
}

ScratchFile::ScratchFile(ScratchFile&& other) noexcept : path_(std::move(other.path_))
{
    other.path_.clear();
}

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept
{
    if (this != &other) {
        Remove();
        path_ = std::move(other.path_);
        other.path_.clear();
    }
    return *this;
}

ScratchFile ScratchFile::Beside(const std::string& target, const std::string& what, std::FILE*& stream)
{
    std::mt19937 random(static_cast<std::uint32_t>(std::random_device{}()) ^
                        static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    // A name near the file system's limit leaves no room for the suffix: the partial file
    // then goes by a short name of its own, in the same directory, which the move needs.
    const std::size_t separator = target.find_last_of(System::kSeparators);
    const std::string shortName =
        (separator == std::string::npos ? std::string() : target.substr(0, separator + 1)) + ".korrin-partial-";
    std::string stem = target + ".korrin-partial-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = stem + UniquePart(random);
        bool existed = false;
        stream = System::CreateNewFile(path, existed);
        if (stream != nullptr)
            return ScratchFile(path);
        if (errno == ENAMETOOLONG && stem != shortName) {
            stem = shortName;
            continue;
        }
        if (!existed)
            throw Failure("cannot write " + what + " " + target + ": " + SystemError(errno));
    }
    throw Failure("cannot write " + what + " " + target + ": no free name for a partial file beside it");
}

ScratchFile ScratchFile::Temporary(const std::string& what)
{
    std::wstring name;
    if (GenerateTempFilename(name) != Vantrel::RESULT_OK)
        throw Failure("cannot keep " + what + ": no temporary file can be made");
    return ScratchFile(ToUtf8(name));
}

bool ScratchFile::MoveTo(const std::string& target)
{
    if (!System::ReplaceFile(path_, target))
        return false;
    System::KeepOnInterrupt(path_);
    path_.clear();
    return true;
}

void ScratchFile::Remove()
{
    if (path_.empty())
        return;
    System::RemoveFile(path_);
    System::KeepOnInterrupt(path_);
    path_.clear();
}

} // namespace Tool
} // namespace Halvorn
