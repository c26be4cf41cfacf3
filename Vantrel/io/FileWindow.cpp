// The window refills from the file in large sequential reads, into a buffer that grows only
// as far as the file turns out to reach. The SHA-1 of a large file is computed on a second
// thread (Sha1Beside) while the caller works through the window, over buffer regions that
// take turns (Regions below). Read and Move answer the common cases, a full window already
// buffered and a step within the buffered bytes, in the header, so that a caller's per-byte
// loop inlines them; Refill and Skip do the rest.
#include <Vantrel/FileWindow.h>

#include <algorithm>
#include <cstring>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/digests/Sha1Beside.h"
#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "Vantrel/io/ScopedResource.h"
#include "platform/Runtime.h"

using Halvorn::Vantrel::ReportError;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;

namespace {
constexpr int kClosed = -1;
constexpr std::uint32_t kLeastRead = 1u << 18;
// Buffers up to this size get a twin, so that the file is read into one while the SHA-1 of
// the other's bytes is computed; larger ones wait for it instead of doubling their memory.
constexpr std::uint32_t kLargestTwinBuffer = 1u << 20;

std::uint32_t Regions(std::uint32_t bufferSize)
{
    return bufferSize <= kLargestTwinBuffer ? 2 : 1;
}

// What the buffer grows to: the window and as much again, or 256 KiB behind small windows,
// since a read call per window or two would cost more than the bytes it brings, and more than
// that would push the signature's lookups out of the processor's cache while delta
// generation scans.
std::uint32_t FullBuffer(std::uint32_t windowSize)
{
    return windowSize + (windowSize > kLeastRead ? windowSize : kLeastRead);
}
} // namespace

FileWindow::FileWindow()
    : descriptor_(kClosed), windowSize_(0), windowBase_(0), bufferSize_(0), available_(0), windowStart_(0),
      ended_(false)
{
}

FileWindow::~FileWindow()
{
    if (descriptor_ != kClosed)
        Close();
}

int FileWindow::Open(const std::wstring& path, std::uint32_t windowSize)
{
    if (descriptor_ != kClosed)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Open", __LINE__);
    // The buffer holds at least two windows and its size is a 32-bit count.
    if (windowSize > Halvorn::Vantrel::kLargestWindowSize)
        return ReportError(RESULT_FAILED, path.c_str(), "FileWindow::Open", __LINE__);

    Halvorn::ScopedFileDescriptor file(
        Halvorn::Platform::CurrentRuntime().Open(path, Halvorn::Platform::OpenMode::ReadSequential));
    if (file.Get() == kClosed)
        return ReportError(RESULT_FAILED, path.c_str(), "FileWindow::Open", __LINE__);

    // A large window starts with a smaller buffer, which grows only as far as the file
    // turns out to reach: a window size read from a signature must not take memory that the
    // file does not need. Running out of memory closes the file again.
    const std::uint32_t bufferSize = std::min(FullBuffer(windowSize), kLargestTwinBuffer);
    std::unique_ptr<unsigned char[]> buffer(
        new unsigned char[std::uint64_t{bufferSize} * Regions(bufferSize)]());
    std::unique_ptr<Halvorn::Vantrel::Sha1Beside> sha1(new Halvorn::Vantrel::Sha1Beside(fileDigest_));

    descriptor_ = file.Release();
    fileDigest_.Reset();
    path_ = path;
    windowSize_ = windowSize;
    bufferSize_ = bufferSize;
    buffer_ = std::move(buffer);
    sha1_ = std::move(sha1);
    return RESULT_OK;
}

void FileWindow::Grow()
{
    // Every byte handed to the digest is hashed before the buffer it lies in goes.
    sha1_->Settle();
    // Doubled while that stays short of a window: the file has shown more than half of
    // what it would then hold. Otherwise the full size at once, so that the window never
    // works in a buffer with little room behind it.
    const std::uint32_t size = 2 * bufferSize_ < windowSize_ ? 2 * bufferSize_ : FullBuffer(windowSize_);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[std::uint64_t{size} * Regions(size)]());
    std::memcpy(buffer.get(), buffer_.get() + windowStart_, available_);
    windowStart_ = 0;
    bufferSize_ = size;
    buffer_ = std::move(buffer);
}

int FileWindow::Refill(std::uint32_t& count)
{
    if (descriptor_ == kClosed)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Read", __LINE__);
    // Past the end of the file, the window only shrinks over what is buffered.
    if (available_ >= windowSize_ || ended_) {
        count = available_ < windowSize_ ? available_ : windowSize_;
        return RESULT_OK;
    }
    for (;;) {
        // The window lives in one of Regions() buffers of bufferSize_ bytes, taking turns.
        // Bytes are read over below only once their SHA-1 is done.
        const std::uint32_t regions = Regions(bufferSize_);
        std::uint32_t start = regions == 2 && windowStart_ >= bufferSize_ ? bufferSize_ : 0;
        if (windowSize_ > start + bufferSize_ - windowStart_) {
            // Fewer than W bytes of buffer left behind the window: bring it to the front of the
            // other buffer, whose bytes were all given to the digest before the last refill.
            start = regions == 2 ? bufferSize_ - start : 0;
            sha1_->Settle(regions - 1);
            std::memmove(buffer_.get() + start, buffer_.get() + windowStart_, available_);
            windowStart_ = start;
        } else {
            // At the start, after a short read or after a skip: nothing to keep hashing beside.
            sha1_->Settle();
        }
        unsigned char* fill = buffer_.get() + windowStart_ + available_;
        const std::uint32_t room = start + bufferSize_ - windowStart_ - available_;
        const std::int64_t delivered = Halvorn::Platform::CurrentRuntime().Read(descriptor_, fill, room);
        // A failed read consumes nothing, so the bytes buffered can still be served: the
        // window is short this once, and a later Read tries again from where this one stood.
        // With nothing buffered the call fails.
        if (delivered < 0) {
            if (available_ == 0)
                return ReportError(RESULT_FAILED, nullptr, "FileWindow::Read", __LINE__);
            break;
        }
        sha1_->Append(fill, static_cast<std::uint32_t>(delivered));
        available_ += static_cast<std::uint32_t>(delivered);
        // A short read is the end of the file. A full one into a buffer still smaller than its
        // window leaves more of the file to come.
        ended_ = delivered < room;
        if (ended_ || available_ >= windowSize_ || bufferSize_ == FullBuffer(windowSize_))
            break;
        Grow();
    }
    count = available_ < windowSize_ ? available_ : windowSize_;
    return RESULT_OK;
}

int FileWindow::Skip(std::uint32_t n)
{
    if (descriptor_ == kClosed || n == 0)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Move", __LINE__);
    windowBase_ += n;
    if (n <= available_) {
        windowStart_ += n;
        available_ -= n;
        return RESULT_OK;
    }
    // Past the buffered bytes: skip to the new base; what lies between is never read.
    available_ = 0;
    windowStart_ = 0;
    ended_ = false;
    if (Halvorn::Platform::CurrentRuntime().Seek(descriptor_, windowBase_) < 0)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Move", __LINE__);
    return RESULT_OK;
}

void FileWindow::GetFileDigest(Halvorn::Vantrel::SHA1Digest& digest) const
{
    if (sha1_)
        sha1_->Settle();
    digest = fileDigest_;
}

int FileWindow::Close()
{
    if (descriptor_ == kClosed)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Close", __LINE__);
    Halvorn::Platform::CurrentRuntime().Close(descriptor_);
    descriptor_ = kClosed;
    path_.clear();
    sha1_.reset();
    fileDigest_.Finish();
    windowSize_ = 0;
    windowBase_ = 0;
    bufferSize_ = 0;
    buffer_.reset();
    available_ = 0;
    windowStart_ = 0;
    ended_ = false;
    return RESULT_OK;
}
