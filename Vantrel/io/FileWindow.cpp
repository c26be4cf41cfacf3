#include <Vantrel/FileWindow.h>

#include <cstring>

#include <Vantrel/ResultCodes.h>

#include "Vantrel/engine/ReportError.h"
#include "Vantrel/engine/WindowSizes.h"
#include "platform/Runtime.h"

using Halvorn::Vantrel::ReportError;
using Halvorn::Vantrel::RESULT_FAILED;
using Halvorn::Vantrel::RESULT_OK;

namespace {
constexpr int kClosed = -1;
constexpr std::uint32_t kLeastRead = 1u << 18;
} // namespace

FileWindow::FileWindow()
    : descriptor_(kClosed), windowSize_(0), windowBase_(0), bufferSize_(0), available_(0), windowStart_(0)
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

    // Allocated before the file is opened, so that running out of memory leaves the window
    // closed. Small windows get 256 KiB behind them: a read call per window or two would cost
    // more than the bytes it brings, and more than that would push the signature's lookups
    // out of the processor's cache while delta generation scans.
    const std::uint32_t bufferSize = windowSize + (windowSize > kLeastRead ? windowSize : kLeastRead);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]());

    const int descriptor =
        Halvorn::Platform::CurrentRuntime().Open(path, Halvorn::Platform::OpenMode::ReadSequential);
    if (descriptor == kClosed)
        return ReportError(RESULT_FAILED, path.c_str(), "FileWindow::Open", __LINE__);

    descriptor_ = descriptor;
    fileDigest_.Reset();
    path_ = path;
    windowSize_ = windowSize;
    bufferSize_ = bufferSize;
    buffer_ = std::move(buffer);
    return RESULT_OK;
}

int FileWindow::Refill(std::uint32_t& count)
{
    if (descriptor_ == kClosed)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Read", __LINE__);
    if (available_ >= windowSize_) {
        count = windowSize_;
        return RESULT_OK;
    }
    // Fewer than W bytes of buffer left behind the window: bring the window to the front.
    if (windowSize_ > bufferSize_ - windowStart_) {
        std::memmove(buffer_.get(), buffer_.get() + windowStart_, available_);
        windowStart_ = 0;
    }
    unsigned char* fill = buffer_.get() + windowStart_ + available_;
    std::int64_t delivered =
        Halvorn::Platform::CurrentRuntime().Read(descriptor_, fill, bufferSize_ - windowStart_ - available_);
    if (delivered < 0) {
        if (available_ == 0)
            return ReportError(RESULT_FAILED, nullptr, "FileWindow::Read", __LINE__);
        // The bytes already buffered can still be served.
        delivered = 0;
    }
    fileDigest_.Append(fill, static_cast<std::uint32_t>(delivered));
    available_ += static_cast<std::uint32_t>(delivered);
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
    if (Halvorn::Platform::CurrentRuntime().Seek(descriptor_, windowBase_) < 0)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Move", __LINE__);
    return RESULT_OK;
}

void FileWindow::GetFileDigest(Halvorn::Vantrel::SHA1Digest& digest) const
{
    digest = fileDigest_;
}

int FileWindow::Close()
{
    if (descriptor_ == kClosed)
        return ReportError(RESULT_FAILED, nullptr, "FileWindow::Close", __LINE__);
    Halvorn::Platform::CurrentRuntime().Close(descriptor_);
    descriptor_ = kClosed;
    path_.clear();
    fileDigest_.Finish();
    windowSize_ = 0;
    windowBase_ = 0;
    bufferSize_ = 0;
    buffer_.reset();
    available_ = 0;
    windowStart_ = 0;
    return RESULT_OK;
}
