// Feeds a SHA1Digest from a second thread, so that hashing a large input runs beside the
// reading and the other work on it instead of after them.
//
// Ranges are hashed in the order given, each with one Append on the digest, so the digest
// ends exactly as the same Appends made in line would leave it. Nothing is copied: the
// worker reads the caller's bytes, which must stay as they are until Settle says they are
// hashed. The first bytes, up to kInlineBytes in all, are hashed at once on the calling
// thread, so small inputs never start a thread; so is everything on a single processor, or
// when no thread can be started.
//
// The digest and every range given must outlive this object; its destruction hashes what is
// left and joins the worker, so an early return leaves the digest whole and no thread behind.
// The digest is not to be touched between the first Append and the next Settle(0).
// One calling thread at a time.
#ifndef VANTREL_DIGESTS_SHA1BESIDE_H
#define VANTREL_DIGESTS_SHA1BESIDE_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <Vantrel/SHA1Digest.h>

namespace Halvorn {
namespace Vantrel {

class Sha1Beside {
public:
    static constexpr std::uint64_t kInlineBytes = 1u << 20;

    explicit Sha1Beside(SHA1Digest& digest);
    Sha1Beside(const Sha1Beside&) = delete;
    Sha1Beside& operator=(const Sha1Beside&) = delete;
    ~Sha1Beside();

    // Adds `length` bytes after those given before.
    void Append(const unsigned char* data, std::uint32_t length);
    // Returns once at most `unhashed` of the ranges given are still to be hashed: the older
    // ones may then be overwritten. With 0, the digest holds every byte given.
    void Settle(std::uint32_t unhashed = 0);

private:
    struct Range {
        const unsigned char* data;
        std::uint32_t length;
    };
    // Ranges waiting or being hashed, at most this many; Append waits for room.
    static constexpr std::uint32_t kQueued = 8;

    void Work();

    SHA1Digest& digest_;
    std::uint64_t given_; // bytes hashed in line before the worker started
    bool unable_;         // one processor, or no thread to be had: hash on the calling thread
    std::mutex mutex_;
    std::condition_variable queued_; // the worker sleeps on it for ranges or the end
    std::condition_variable hashed_; // the caller sleeps on it for ranges to be done
    Range queue_[kQueued];           // a ring: count_ ranges from first_ on
    std::uint32_t first_;
    // Changed under the mutex; read without it while waiting awake.
    std::atomic<std::uint32_t> count_;
    std::atomic<bool> stopping_;
    std::thread worker_;
};

} // namespace Vantrel
} // namespace Halvorn

#endif
