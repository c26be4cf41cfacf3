// Reads a file through a window of W bytes that slides forward over it, and feeds every byte
// it reads into a SHA-1 digest, so that the whole file's value is at hand once the window has
// passed the end.
//
// Protocol: Open; then repeatedly Read (count: W, fewer near the end, 0 past it), look at
// the count bytes through Buffer/Get, Move by at most count; Close; GetFileDigest. The
// pointer from Buffer is valid until the next Read, Move or Close, with the count bytes
// behind it (W bytes of buffer for a file at least W long, whose window is full till near
// its end). The buffer follows the file: a window far larger than the file takes no more
// memory than the file needs. Moving further than count skips bytes, which are then missing
// from the digest. A read of the file that fails fails Read only when no byte is buffered;
// otherwise Read serves a short window this once and the next Read reads again from there.
// Not copyable; one thread at a time (the object may hash on a thread of its own, which it
// joins before Close returns).
#ifndef VANTREL_FILEWINDOW_H
#define VANTREL_FILEWINDOW_H

#include <cstdint>
#include <memory>
#include <string>

#include <Vantrel/KorrinExport.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

namespace Halvorn {
namespace Vantrel {
class Sha1Beside;
}
} // namespace Halvorn

class KORRIN_API FileWindow {
public:
    FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;
    virtual ~FileWindow();

    int Open(const std::wstring& path, std::uint32_t windowSize);
    int Read(std::uint32_t& count)
    {
        if (descriptor_ != -1 && available_ >= windowSize_) {
            count = windowSize_;
            return Halvorn::Vantrel::RESULT_OK;
        }
        return Refill(count);
    }
    int Move(std::uint32_t n)
    {
        if (descriptor_ != -1 && n != 0 && n <= available_) {
            windowBase_ += n;
            windowStart_ += n;
            available_ -= n;
            return Halvorn::Vantrel::RESULT_OK;
        }
        return Skip(n);
    }
    // No bounds check against the last count.
    unsigned char Get(std::uint32_t i) const { return buffer_[windowStart_ + i]; }
    const unsigned char* Buffer() const { return buffer_.get() + windowStart_; }
    std::int64_t GetWindowBase() const { return windowBase_; }
    // Bytes buffered from the window's first byte on, valid behind Buffer() until the next
    // Read, Move or Close; may exceed the window, so a caller can look ahead without reading.
    std::uint32_t Buffered() const { return available_; }
    // Final only after Close.
    void GetFileDigest(Halvorn::Vantrel::SHA1Digest& digest) const;
    int Close();

private:
    int Refill(std::uint32_t& count);
    int Skip(std::uint32_t n);
    // Doubles the buffer, up to its full size, keeping the buffered bytes.
    void Grow();

    std::wstring path_;
    int descriptor_;
    Halvorn::Vantrel::SHA1Digest fileDigest_;
    std::uint32_t windowSize_;
    std::int64_t windowBase_;
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint32_t bufferSize_;
    std::uint32_t available_; // valid bytes from the window's first byte on
    std::uint32_t windowStart_;
    bool ended_; // a read has met the end of the file: later Reads need not read
    // Feeds fileDigest_ from the buffer while open; declared last, so gone before the buffer.
    std::unique_ptr<Halvorn::Vantrel::Sha1Beside> sha1_;
};

#endif
