// The engine: the object through which a client makes signatures and deltas and applies
// them. It carries one setting, the window size (the block length of signatures), and owns
// nothing else; it is copyable and can serve any number of operations in any order.
#ifndef VANTREL_KORRIN_H
#define VANTREL_KORRIN_H

#include <cstdint>
#include <string>

#include <Vantrel/KorrinExport.h>

class FileLock;

namespace Halvorn {
namespace Vantrel {

class FileDelta;
class FileDigest;

class KORRIN_API Korrin {
public:
    Korrin();
    Korrin(const Korrin& other);
    Korrin& operator=(const Korrin& other);
    virtual ~Korrin();

    // Any value is stored as given; the operations that use it judge it.
    void SetWindowSize(std::uint32_t windowSize);
    void GetWindowSize(std::uint32_t& windowSize) const;

    // Adds the signature of the file at `path` to `digest`: window size, file size and time,
    // one block per window size (the last may be shorter) with its rolling checksum and MD5
    // value, then the whole file's SHA-1 value. The version is left to the caller. The window
    // size must be 1 to 2147483647. RESULT_OK, or the first failure's code (logged).
    int GenerateFileDigest(const std::wstring& path, FileDigest& digest);

    // Appends to `delta` the description of the file at `path` against the old file's
    // signature `digest`: the signature's version and window size, the new file's size and
    // time, copy and literal instructions in file order, and the new file's SHA-1 value. When
    // the old file was empty, the whole new file travels as literals.
    int GenerateFileDelta(const std::wstring& path, const FileDigest& digest, FileDelta& delta);

    // Appends the whole file at `path` to `delta` as literals of at most 65535 bytes, then
    // its SHA-1 value. Writes no version, window size, file size or time.
    int GenerateDeltaForWholeFile(const std::wstring& path, FileDelta& delta);

    // How `delta` is made up: copy instructions, literal instructions and literal bytes.
    void ReturnDeltaComposition(const FileDelta& delta, int& digestCount, int& bufferCount,
                                std::uint64_t& bufferSize);

    // Writes the file that `delta` describes against the old file at `oldPath` to `newPath`
    // (see FileDelta::GenerateFile), reporting a failure once more under the engine's name.
    int ApplyFileDelta(const std::wstring& oldPath, const FileDelta& delta, const std::wstring& newPath);

    // Replaces the file at `path` by the file `delta` describes against it, never leaving it
    // half-written: the new content is rebuilt beside it as `path` + ".dfttemp", checked, and
    // then moved over the target (copied, when the move fails). With a lock, the lock on
    // `path` is taken just before the replacement and stays with the caller afterwards; when
    // it cannot be had, the target is left alone and the complete temporary file stays.
    int ApplyFileDelta(const std::wstring& path, const FileDelta& delta, FileLock* lock);
    int ApplyFileDelta(const std::wstring& path, const FileDelta& delta);

private:
    std::uint32_t windowSize_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
