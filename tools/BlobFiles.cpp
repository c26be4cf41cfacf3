#include "BlobFiles.h"

#include <cerrno>
#include <cstdio>

#include "Failures.h"
#include "Options.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

namespace {

constexpr std::uint64_t kLargestBlob = UINT32_MAX;

// A stream of unknown length: the buffer grows as it fills.
Blob ReadStream(std::FILE* stream, const std::string& failure)
{
    Blob blob;
    std::size_t capacity = 0;
    std::size_t size = 0;
    for (;;) {
        if (size == capacity) {
            if (capacity == kLargestBlob)
                throw Failure(failure + "it is larger than 4 GiB, too large for a blob");
            const std::uint64_t grown = capacity == 0 ? (1u << 20) : std::uint64_t{capacity} * 2;
            capacity = static_cast<std::size_t>(grown < kLargestBlob ? grown : kLargestBlob);
            auto* larger = static_cast<unsigned char*>(std::realloc(blob.bytes.get(), capacity));
            if (larger == nullptr)
                throw Failure(failure + "out of memory");
            blob.bytes.release();
            blob.bytes.reset(larger);
        }
        const std::size_t got = std::fread(blob.bytes.get() + size, 1, capacity - size, stream);
        size += got;
        if (got == 0)
            break;
    }
    if (std::ferror(stream))
        throw Failure(failure + SystemError(errno));
    blob.size = static_cast<std::uint32_t>(size);
    return blob;
}

} // namespace

void ThrowBlobTooLarge(const std::string& what)
{
    throw Failure("cannot make " + what + " into a blob: it is larger than 4 GiB, or memory ran out");
}

Blob ReadBlob(const std::string& name, const std::string& what)
{
    if (IsStandardStream(name))
        return ReadStream(stdin, "cannot read " + what + " from standard input: ");

    const std::string failure = "cannot read " + what + " " + name + ": ";
    System::FileInfo info;
    if (!System::Examine(name, info))
        throw Failure(failure + SystemError(errno));
    if (!info.exists)
        throw Failure(failure + "it does not exist");
    if (info.directory)
        throw Failure(failure + "it is a directory");
    if (info.size > kLargestBlob)
        throw Failure(failure + "it is larger than 4 GiB, too large for a blob");

    std::FILE* file = System::OpenFile(name, "rb");
    if (file == nullptr)
        throw Failure(failure + SystemError(errno));
    if (!info.regular) {
        // A pipe, such as a shell's process substitution: its size says nothing.
        try {
            Blob blob = ReadStream(file, failure);
            std::fclose(file);
            return blob;
        } catch (...) {
            std::fclose(file);
            throw;
        }
    }
    Blob blob;
    // One read into a buffer of the file's size: no copy on the way.
    blob.bytes.reset(static_cast<unsigned char*>(std::malloc(info.size == 0 ? 1 : info.size)));
    if (!blob.bytes) {
        std::fclose(file);
        throw Failure(failure + "out of memory");
    }
    blob.size = static_cast<std::uint32_t>(std::fread(blob.bytes.get(), 1, info.size, file));
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed)
        throw Failure(failure + SystemError(error));
    if (blob.size != info.size)
        throw Failure(failure + "it changed while being read");
    return blob;
}

} // namespace Tool
} // namespace Halvorn
