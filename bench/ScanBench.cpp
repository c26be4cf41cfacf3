// The delta generator's scan over positions that match nothing, in its two steps and
// together: each version this processor runs beside the portable one, in calls of 64
// positions unless said otherwise. Counter ns_per_position.
//   RollChecksums/VERSION/WINDOW   the checksums of the windows along 1 MiB of random bytes
//   FilterProbe/VERSION/BLOCKS     those checksums against a filter of BLOCKS random
//                                  checksums (1,000: in the first-level cache; 131,072, a
//                                  256 MiB file's 2048-byte blocks: in the second; 4,194,304:
//                                  beyond), nearly all absent
//   BM_Scan/BLOCKS/CHUNK           both, with the versions the library picks, in calls of
//                                  CHUNK positions
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Vantrel/signature/ChecksumFilter.h"
#include "platform/FilterProbe.h"
#include "platform/RollingSums.h"

namespace {

using Halvorn::Vantrel::ChecksumFilter;

constexpr std::uint32_t kChunk = 64;
constexpr std::uint32_t kWindow = 2048;

std::vector<unsigned char> RandomBytes(std::size_t length)
{
    std::mt19937 random(42);
    std::vector<unsigned char> bytes(length);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    return bytes;
}

void CountPositions(benchmark::State& state, std::uint64_t positions)
{
    state.counters["ns_per_position"] = benchmark::Counter(
        static_cast<double>(positions), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Rolls the windows of `window` bytes along `data` in calls of `chunk` (at most 256)
// positions, handing each call's checksums to `each`; answers how many positions.
template <typename Each>
std::uint64_t RollAlong(const std::vector<unsigned char>& data, std::uint32_t window,
                        Halvorn::Platform::RollChecksumsFunction roll, Each each,
                        std::uint32_t chunk = kChunk)
{
    std::uint32_t plain = 0;
    std::uint32_t running = 0;
    Halvorn::Platform::BlockSums(data.data(), window, plain, running);
    std::uint32_t checksums[256];
    const auto positions = static_cast<std::uint32_t>(data.size() - window);
    for (std::uint32_t at = 0; at + chunk <= positions; at += chunk) {
        roll(data.data() + at, chunk, window, plain, running, checksums);
        each(checksums);
    }
    return positions / chunk * chunk;
}

void BM_RollChecksums(benchmark::State& state, Halvorn::Platform::RollChecksumsFunction roll)
{
    const auto window = static_cast<std::uint32_t>(state.range(0));
    const auto data = RandomBytes((std::size_t{1} << 20) + window);
    std::uint64_t positions = 0;
    for (auto _ : state)
        positions += RollAlong(data, window, roll, [](const std::uint32_t* checksums) {
            benchmark::DoNotOptimize(checksums[kChunk - 1]);
        });
    CountPositions(state, positions);
}

// A filter of `blocks` random checksums, as a signature's index makes it.
ChecksumFilter FilledFilter(std::size_t blocks)
{
    ChecksumFilter filter;
    filter.Reset(blocks);
    std::mt19937 random(7);
    for (std::size_t i = 0; i < blocks; ++i)
        filter.Add(random());
    return filter;
}

void BM_FilterProbe(benchmark::State& state, Halvorn::Platform::FilterProbeFunction probe)
{
    const ChecksumFilter filter = FilledFilter(static_cast<std::size_t>(state.range(0)));
    // The checksums of 64 KiB of windows, rolled beforehand: the filter's reads alone.
    std::vector<std::uint32_t> checksums;
    RollAlong(RandomBytes((std::size_t{1} << 16) + kWindow), kWindow, Halvorn::Platform::RollChecksums,
              [&](const std::uint32_t* chunk) { checksums.insert(checksums.end(), chunk, chunk + kChunk); });
    std::uint64_t positions = 0;
    std::uint64_t maybes = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < checksums.size(); at += kChunk) {
            std::uint64_t maybe = 0;
            probe(checksums.data() + at, kChunk, filter.Words(), filter.Shift(), &maybe);
            maybes += maybe != 0;
        }
        positions += checksums.size();
    }
    benchmark::DoNotOptimize(maybes);
    CountPositions(state, positions);
}

void BM_Scan(benchmark::State& state)
{
    const ChecksumFilter filter = FilledFilter(static_cast<std::size_t>(state.range(0)));
    const auto chunk = static_cast<std::uint32_t>(state.range(1));
    const auto data = RandomBytes((std::size_t{1} << 20) + kWindow);
    std::uint64_t positions = 0;
    std::uint64_t maybes = 0;
    for (auto _ : state)
        positions += RollAlong(
            data, kWindow, Halvorn::Platform::RollChecksums,
            [&](const std::uint32_t* checksums) {
                std::uint64_t maybe[4];
                filter.MayContainEach(checksums, chunk, maybe);
                maybes += maybe[0] != 0;
            },
            chunk);
    benchmark::DoNotOptimize(maybes);
    CountPositions(state, positions);
}
BENCHMARK(BM_Scan)->ArgsProduct({{1000, 131072, 4194304}, {64, 256}});

const bool registered = [] {
    for (const auto& variant : Halvorn::Platform::RollChecksumsVariants())
        for (std::int64_t window : {64, 2048})
            benchmark::RegisterBenchmark(("RollChecksums/" + std::string(variant.name)).c_str(),
                                         BM_RollChecksums, variant.roll)
                ->Arg(window);
    for (const auto& variant : Halvorn::Platform::FilterProbeVariants())
        for (std::int64_t blocks : {1000, 131072, 4194304})
            benchmark::RegisterBenchmark(("FilterProbe/" + std::string(variant.name)).c_str(), BM_FilterProbe,
                                         variant.probe)
                ->Arg(blocks);
    return true;
}();

} // namespace
