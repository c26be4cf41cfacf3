// A progress bar on stderr for long operations: bytes done of the total, rate, time left.
// Fed from the stores as the engine writes or reads instructions and blocks, so it costs
// an addition per call and a look at the clock only every quarter mebibyte; it redraws at
// most ten times a second. An invisible meter only counts.
#ifndef KORRIN_TOOLS_PROGRESS_H
#define KORRIN_TOOLS_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace Halvorn {
namespace Tool {

class Meter {
public:
    Meter(std::string label, std::uint64_t total, bool visible);
    ~Meter();
    Meter(const Meter&) = delete;
    Meter& operator=(const Meter&) = delete;

    void Add(std::uint64_t bytes)
    {
        done_ += bytes;
        if (done_ >= nextLook_)
            Look();
    }
    std::uint64_t Done() const { return done_; }
    // Takes the bar off the screen; nothing is drawn afterwards.
    void Finish();

private:
    using Clock = std::chrono::steady_clock;

    void Look();
    void Draw(double elapsed);

    std::string label_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::uint64_t nextLook_;
    bool visible_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

// Whether an operation on `total` bytes shows a meter: over 64 MiB, on a terminal, not quiet.
bool WantsMeter(std::uint64_t total, bool quiet);

} // namespace Tool
} // namespace Halvorn

#endif
