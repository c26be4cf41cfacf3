// FileDigest::Find(checksum, found) on an in-memory signature: the call the delta generator
// makes at every byte position, nearly always for a checksum the signature lacks. A miss
// should cost about the same for a small and a huge table; the counter miss_over_1000 on the
// large runs is their ns per Find over that of the 1,000-checksum table.
//
// Miss: independent probes, as a predicted "not found" branch lets the generator's loop run
// ahead. MissChained: each probe's position depends on the previous answer, so memory
// latency is not hidden. Hit: present checksums, for context.
//
// The store makes its filter and index on the first lookup; that one is made with the
// fixture, untimed, as delta generation makes it once before its per-position lookups, and
// its time is the counter first_find_ms.

#include <Vantrel/FileDigest.h>
#include <Vantrel/MemoryDigestIO.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::MemoryDigestIO;

constexpr std::size_t kProbes = std::size_t{1} << 16; // a power of two, to wrap by masking
constexpr std::size_t kBatch = 1024;                  // Finds per timed iteration

// A store of `n` distinct random checksums, blocks 0..n-1 in random checksum order, and
// probes: checksums it certainly lacks, and checksums it holds.
struct FindFixture {
    explicit FindFixture(std::size_t n) : digest(&store)
    {
        std::mt19937 random(static_cast<std::uint32_t>(n));
        std::vector<std::uint32_t> sorted;
        while (sorted.size() < n) {
            for (std::size_t i = sorted.size(); i < n + n / 64 + 16; ++i)
                sorted.push_back(random());
            std::sort(sorted.begin(), sorted.end());
            sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        }
        std::vector<std::uint32_t> present(sorted);
        std::shuffle(present.begin(), present.end(), random);
        present.resize(n);
        sorted = present;
        std::sort(sorted.begin(), sorted.end());

        for (std::size_t i = 0; i < n; ++i) {
            _md5_hash md5;
            for (unsigned char& byte : md5.bytes)
                byte = static_cast<unsigned char>(random());
            digest.AddDigest(static_cast<std::uint32_t>(i), present[i], md5);
        }

        while (absent.size() < kProbes) {
            const std::uint32_t candidate = random();
            if (!std::binary_search(sorted.begin(), sorted.end(), candidate))
                absent.push_back(candidate);
        }
        for (std::size_t i = 0; i < kProbes; ++i)
            held.push_back(present[random() % n]);

        bool hit = false;
        const auto start = std::chrono::steady_clock::now();
        digest.Find(absent[0], hit);
        firstFindSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    MemoryDigestIO store;
    FileDigest digest;
    std::vector<std::uint32_t> absent;
    std::vector<std::uint32_t> held;
    double firstFindSeconds = 0;
};

// Built once per size and kept to the end: the 4,000,000 table takes seconds to fill.
const FindFixture& FixtureFor(std::size_t n)
{
    static std::map<std::size_t, std::unique_ptr<FindFixture>> fixtures;
    std::unique_ptr<FindFixture>& fixture = fixtures[n];
    if (!fixture)
        fixture.reset(new FindFixture(n));
    return *fixture;
}

// ns per Find of each kind by table size, for the ratio to the smallest table.
std::map<std::string, std::map<std::int64_t, double>> nsPerFind;

void Report(benchmark::State& state, const std::string& kind, double seconds, std::uint64_t finds)
{
    const double ns = seconds * 1e9 / static_cast<double>(finds);
    state.counters["ns_per_find"] = ns;
    std::map<std::int64_t, double>& bySize = nsPerFind[kind];
    bySize[state.range(0)] = ns;
    const auto small = bySize.find(1000);
    if (state.range(0) != 1000 && small != bySize.end())
        state.counters["miss_over_1000"] = ns / small->second;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Runs batches of Finds over `probes`; answers how many were found.
template <bool Chained>
std::uint64_t RunFinds(benchmark::State& state, const FindFixture& fixture,
                       const std::vector<std::uint32_t>& probes, double& seconds)
{
    std::uint64_t found = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::size_t at = next;
        for (std::size_t i = 0; i < kBatch; ++i) {
            bool hit = false;
            fixture.digest.Find(probes[at], hit);
            found += hit;
            // Chained: the next address waits for this answer, so misses cannot overlap.
            at = (at + 1 + (Chained ? static_cast<std::size_t>(hit) : 0)) & (kProbes - 1);
        }
        next = at;
        const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
        state.SetIterationTime(elapsed);
        seconds += elapsed;
    }
    return found;
}

template <bool Chained>
void BM_FindMiss(benchmark::State& state)
{
    const FindFixture& fixture = FixtureFor(static_cast<std::size_t>(state.range(0)));
    double seconds = 0;
    const std::uint64_t found = RunFinds<Chained>(state, fixture, fixture.absent, seconds);
    if (found != 0) {
        state.SkipWithError("an absent checksum was found");
        return;
    }
    Report(state, Chained ? "MissChained" : "Miss", seconds, state.iterations() * kBatch);
    state.counters["first_find_ms"] = fixture.firstFindSeconds * 1e3;
}
BENCHMARK_TEMPLATE(BM_FindMiss, false)->Name("BM_FindMiss")->Arg(1000)->Arg(4000000)->UseManualTime();
BENCHMARK_TEMPLATE(BM_FindMiss, true)->Name("BM_FindMissChained")->Arg(1000)->Arg(4000000)->UseManualTime();

void BM_FindHit(benchmark::State& state)
{
    const FindFixture& fixture = FixtureFor(static_cast<std::size_t>(state.range(0)));
    double seconds = 0;
    const std::uint64_t found = RunFinds<false>(state, fixture, fixture.held, seconds);
    const std::uint64_t finds = state.iterations() * kBatch;
    if (found != finds) {
        state.SkipWithError("a present checksum was not found");
        return;
    }
    state.counters["ns_per_find"] = seconds * 1e9 / static_cast<double>(finds);
}
BENCHMARK(BM_FindHit)->Arg(1000)->Arg(4000000)->UseManualTime();

} // namespace
