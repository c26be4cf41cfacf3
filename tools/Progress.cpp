#include "Progress.h"

#include <cstdio>
#include <limits>
#include <utility>

#include "Format.h"
#include "System.h"

namespace Halvorn {
namespace Tool {

namespace {

constexpr std::uint64_t kLookEvery = 256 * 1024;
constexpr std::uint64_t kSmallestShown = 64ull * 1024 * 1024;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kWidestBar = 40;

} // namespace

bool WantsMeter(std::uint64_t total, bool quiet)
{
    return !quiet && total > kSmallestShown && System::IsTerminal(stderr);
}

Meter::Meter(std::string label, std::uint64_t total, bool visible)
    : label_(std::move(label)),
      total_(total),
      nextLook_(visible ? kLookEvery : std::numeric_limits<std::uint64_t>::max()),
      visible_(visible),
      start_(Clock::now()),
      lastDraw_(start_ - kRedrawEvery)  // the first look draws: the bar shows from the start
{
}

Meter::~Meter()
{
    Finish();
}

void Meter::Finish()
{
    if (drawn_) {
        // Blanks over the bar, so that what follows starts on a clean line.
        const int columns = System::TerminalColumns(stderr);
        const std::size_t blanks = static_cast<std::size_t>(columns > 1 ? columns - 1 : 79);
        System::WriteText(stderr, "\r" + std::string(blanks, ' ') + "\r");
        std::fflush(stderr);
    }
    visible_ = false;
    drawn_ = false;
    nextLook_ = std::numeric_limits<std::uint64_t>::max();
}

void Meter::Look()
{
    nextLook_ = done_ + kLookEvery;
    const Clock::time_point now = Clock::now();
    if (now - lastDraw_ < kRedrawEvery)
        return;
    lastDraw_ = now;
    Draw(std::chrono::duration<double>(now - start_).count());
}

void Meter::Draw(double elapsed)
{
    // Copies of a short last block count whole: never show more than all.
    const std::uint64_t done = done_ < total_ ? done_ : total_;
    const double fraction = total_ == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
    const double rate = elapsed > 0 ? static_cast<double>(done) / elapsed : 0;
    std::string left = "-";
    if (rate > 0)
        left = FormatDuration(static_cast<double>(total_ - done) / rate);

    char figures[160];
    // Fields of fixed width keep the bar from changing length as the figures change.
    std::snprintf(figures, sizeof figures, " %3d%% %9s of %-9s %11s %7s left", static_cast<int>(fraction * 100),
                  FormatSize(done).c_str(), FormatSize(total_).c_str(), FormatRate(done, elapsed).c_str(),
                  left.c_str());

    int columns = System::TerminalColumns(stderr);
    if (columns <= 0)
        columns = 80;
    const std::string text = label_ + figures;
    // The bar takes what room is left on the line, up to its widest; none on narrow terminals.
    const int room = columns - 1 - static_cast<int>(text.size()) - 3;
    std::string line = label_;
    if (room >= 8) {
        const int width = room < kWidestBar ? room : kWidestBar;
        const int filled = static_cast<int>(fraction * width);
        line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(width - filled), '.') + "]";
    }
    line += figures;
    if (static_cast<int>(line.size()) > columns - 1)
        line.resize(static_cast<std::size_t>(columns > 1 ? columns - 1 : 1));
    if (static_cast<int>(line.size()) < columns - 1)
        line.resize(static_cast<std::size_t>(columns - 1), ' ');
    System::WriteText(stderr, "\r" + line);
    std::fflush(stderr);
    drawn_ = true;
}

} // namespace Tool
} // namespace Halvorn
