#include "Vantrel/digests/Sha1Beside.h"

#include <chrono>
#include <system_error>

namespace Halvorn {
namespace Vantrel {

namespace {

// Either side waits for the other awake this long before it sleeps: a range takes a fraction
// of a millisecond to hash or to fill, and being woken costs tens of microseconds each time.
constexpr std::chrono::microseconds kAwake(100);

// True once `ready` holds, false if it did not within kAwake.
template <typename Ready>
bool AwaitAwake(Ready ready)
{
    if (ready())
        return true;
    // The clock is read once every so many tries: reading it costs more than a try.
    const auto until = std::chrono::steady_clock::now() + kAwake;
    for (unsigned tries = 1;; ++tries) {
        if (ready())
            return true;
        if (tries % 64 == 0 && std::chrono::steady_clock::now() >= until)
            return ready();
    }
}

bool SeveralProcessors()
{
    // 0 means unknown: a thread may still help.
    static const bool several = std::thread::hardware_concurrency() != 1;
    return several;
}

} // namespace

Sha1Beside::Sha1Beside(SHA1Digest& digest)
    : digest_(digest), given_(0), unable_(false), queue_(), first_(0), count_(0), stopping_(false)
{
}

Sha1Beside::~Sha1Beside()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_one();
    worker_.join();
}

void Sha1Beside::Append(const unsigned char* data, std::uint32_t length)
{
    // Appending nothing changes no digest.
    if (length == 0)
        return;
    if (!worker_.joinable()) {
        if (unable_ || given_ + length <= kInlineBytes) {
            given_ += length;
            digest_.Append(data, length);
            return;
        }
        unable_ = !SeveralProcessors();
        if (!unable_) {
            try {
                worker_ = std::thread([this] { Work(); });
            } catch (const std::system_error&) {
                // Slower, never wrong: the rest is hashed here.
                unable_ = true;
            }
        }
        if (unable_) {
            digest_.Append(data, length);
            return;
        }
    }
    {
        std::unique_lock<std::mutex> lock(mutex_);
        hashed_.wait(lock, [this] { return count_ < kQueued; });
        queue_[(first_ + count_) % kQueued] = Range{data, length};
        ++count_;
    }
    queued_.notify_one();
}

void Sha1Beside::Settle(std::uint32_t unhashed)
{
    if (!worker_.joinable())
        return;
    const auto settled = [this, unhashed] { return count_ <= unhashed; };
    if (AwaitAwake(settled))
        return;
    std::unique_lock<std::mutex> lock(mutex_);
    hashed_.wait(lock, settled);
}

void Sha1Beside::Work()
{
    const auto due = [this] { return count_ != 0 || stopping_; };
    for (;;) {
        AwaitAwake(due);
        Range range;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            queued_.wait(lock, due);
            // Stopping drains the queue first: the digest ends whole.
            if (count_ == 0)
                return;
            range = queue_[first_];
        }
        digest_.Append(range.data, range.length);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            first_ = (first_ + 1) % kQueued;
            --count_;
        }
        hashed_.notify_one();
    }
}

} // namespace Vantrel
} // namespace Halvorn
