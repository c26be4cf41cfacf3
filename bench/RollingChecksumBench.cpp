// The rolling checksum's public class: Start over whole blocks and the per-position roll.
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <Vantrel/Rcheck32Digest.h>

#include "AllocationCounter.h"

namespace {

using Halvorn::Vantrel::Rcheck32Digest;

std::vector<unsigned char> RandomBytes(std::size_t length)
{
    std::mt19937 random(42);
    std::vector<unsigned char> bytes(length);
    for (auto& b : bytes)
        b = static_cast<unsigned char>(random());
    return bytes;
}

void BM_Rcheck32Start(benchmark::State& state)
{
    const auto block = RandomBytes(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Rcheck32Digest digest;
        digest.Start(block.data(), static_cast<std::uint32_t>(block.size()));
        std::uint32_t value;
        digest.GetDigest(value);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Rcheck32Start)->Arg(2048)->Arg(65536);

// One object along a 1 MiB buffer, as a client rolls it from position to position:
// ResetForRolling, Rolling, Finish, GetDigest. Reported per byte position.
void BM_Rcheck32Rolling(benchmark::State& state)
{
    const std::uint32_t window = static_cast<std::uint32_t>(state.range(0));
    const auto data = RandomBytes(1u << 20);
    const std::size_t positions = data.size() - window;
    std::uint64_t allocations = 0;
    for (auto _ : state) {
        Rcheck32Digest digest;
        digest.Start(data.data(), window);
        std::uint32_t sum = 0;
        const std::uint64_t before = KorrinBench::AllocationCount();
        for (std::size_t i = 0; i < positions; ++i) {
            digest.ResetForRolling();
            digest.Rolling(data[i], data[i + window], window, false);
            digest.Finish();
            std::uint32_t value;
            digest.GetDigest(value);
            sum += value;
        }
        allocations += KorrinBench::AllocationCount() - before;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * positions));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * positions));
    state.counters["ns_per_byte"] =
        benchmark::Counter(static_cast<double>(state.iterations() * positions),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_Rcheck32Rolling)->Arg(2048);

} // namespace
