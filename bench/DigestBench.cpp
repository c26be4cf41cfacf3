// Digest benchmarks. Each section measures one digest the way the library drives it.
// bytes_per_second prints in binary units (M/s is MiB/s); `openssl speed` prints 1000s of
// bytes, so multiply by 1.048576 before comparing.

#include <Vantrel/MD5Digest.h>
#include <Vantrel/SHA1Digest.h>

#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/Hashing.h"

namespace {

std::vector<unsigned char> BenchData(std::size_t size)
{
    std::vector<unsigned char> data(size);
    std::uint32_t state = 0x9e3779b9u;
    for (unsigned char& byte : data) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<unsigned char>(state >> 24);
    }
    return data;
}

// ---- Strong digests: throughput --------------------------------------------------------
// One digest fed 8 KiB blocks without end, comparable to `openssl speed -evp <md> -bytes 8192`.

template <typename Digest>
void BM_StrongDigestThroughput(benchmark::State& state)
{
    const std::vector<unsigned char> block = BenchData(8192);
    Digest digest;
    for (auto _ : state) {
        benchmark::DoNotOptimize(digest.Append(block.data(), static_cast<std::uint32_t>(block.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(block.size()));
}
BENCHMARK_TEMPLATE(BM_StrongDigestThroughput, Halvorn::Vantrel::MD5Digest)->Name("MD5Digest/Throughput8KiB");
BENCHMARK_TEMPLATE(BM_StrongDigestThroughput, Halvorn::Vantrel::SHA1Digest)
    ->Name("SHA1Digest/Throughput8KiB");

// ---- Strong digests: one per block -----------------------------------------------------
// Signature generation makes a fresh MD5Digest per block, appends the block and finishes it;
// the fixed cost of making and finishing a digest shows here.

void BM_MD5DigestPerBlock(benchmark::State& state)
{
    const std::vector<unsigned char> block = BenchData(static_cast<std::size_t>(state.range(0)));
    _md5_hash value;
    for (auto _ : state) {
        Halvorn::Vantrel::MD5Digest digest;
        digest.Append(block.data(), static_cast<std::uint32_t>(block.size()));
        digest.Finish();
        digest.GetDigest(value);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_MD5DigestPerBlock)->Name("MD5Digest/FreshPerBlock")->Arg(2048);

// The hashing layer's fixed cost alone: make a context, finish it empty, destroy it.
void BM_Md5ContextLifetime(benchmark::State& state)
{
    _md5_hash value;
    for (auto _ : state) {
        md5_context* context = nullptr;
        md5_init(&context);
        md5_finish(context, &value);
        md5_destroy(context);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_Md5ContextLifetime)->Name("md5_context/InitFinishDestroy");

} // namespace
