// MD5 of many messages at once: each version of Md5Many this processor runs, beside the
// portable one, which is the hashing layer one message after another, and Md5Many itself,
// which picks one by the count: the time of one call for each count up to 16, and 24 and
// 32, of consecutive blocks of a buffer. Signatures hash big batches; delta generation
// mostly small ones, whose times set the counts at which Md5Many changes version.
// bytes_per_second prints in binary units (M/s is MiB/s).
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/Md5Lanes.h"

namespace {

using Halvorn::Platform::Md5ManyFunction;

void BM_Md5Many(benchmark::State& state, Md5ManyFunction hash, std::uint32_t length, std::size_t count)
{
    std::vector<unsigned char> buffer(std::size_t{length} * count);
    std::uint32_t seed = 0x9e3779b9u;
    for (unsigned char& byte : buffer) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(seed >> 24);
    }
    std::vector<const unsigned char*> data;
    for (std::size_t i = 0; i < count; ++i)
        data.push_back(buffer.data() + std::size_t{length} * i);
    const std::vector<std::uint32_t> lengths(count, length);
    std::vector<_md5_hash> values(count);
    for (auto _ : state) {
        if (!hash(data.data(), lengths.data(), count, values.data()))
            state.SkipWithError("hashing failed");
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buffer.size()));
}

void Register(const Halvorn::Platform::Md5ManyVariant& variant, std::uint32_t length, std::size_t count)
{
    const std::string name =
        "Md5Many/" + std::string(variant.name) + "/" + std::to_string(length) + "x" + std::to_string(count);
    // With --benchmark_repetitions, the least time too: on a shared machine the others are
    // mostly interruptions.
    benchmark::RegisterBenchmark(name.c_str(), BM_Md5Many, variant.hash, length, count)
        ->ComputeStatistics("min", [](const std::vector<double>& times) {
            return *std::min_element(times.begin(), times.end());
        });
}

const bool registered = [] {
    auto variants = Halvorn::Platform::Md5ManyVariants();
    variants.push_back({"Md5Many", Halvorn::Platform::Md5Many});
    for (const auto& variant : variants)
        for (std::size_t count : {16u, 32u})
            Register(variant, 8192, count);
    std::vector<std::size_t> counts;
    for (std::size_t count = 1; count <= 16; ++count)
        counts.push_back(count);
    counts.insert(counts.end(), {24, 32});
    // 64 bytes take two blocks with their padding; the others, 12 and 33.
    for (const auto& variant : variants)
        for (std::uint32_t length : {64u, 700u, 2048u})
            for (std::size_t count : counts)
                Register(variant, length, count);
    return true;
}();

} // namespace
