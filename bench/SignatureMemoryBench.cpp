// What an in-memory signature costs in resident memory per block: 1,000,000 blocks with
// distinct checksums written through WriteDigest, as generation over a 2 GiB file at window
// 2048 would make them. Nothing is looked up while they are written, so the store holds its
// table alone; its filter and index come with the first lookup and are measured apart.
//
// Counters, all per block:
//   peak        highest resident size while building, less the resident size before
//   resident    resident size once built, less the resident size before
//   requested   bytes asked of operator new while building (filters outgrown included)
//   allocations operator new calls while building
//   node, group, index   what one std::map node, the one-group vector<DigestEntry> and the
//               one-index vector<uint32_t> ask for, measured on their own
//   lookups     what the filter and index made by the first lookup ask for: a copy of the
//               store once looked up, less a copy of it before
//   overhead    resident less what the table asks for: allocator headers, rounding and
//               minimum chunk sizes

#include <Vantrel/DigestEntry.h>
#include <Vantrel/MemoryDigestIO.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "AllocationCounter.h"
#include "ResidentMemory.h"

namespace {

using Halvorn::Vantrel::DigestEntry;
using Halvorn::Vantrel::DigestMap;
using Halvorn::Vantrel::MemoryDigestIO;
using KorrinBench::AllocatedBytes;
using KorrinBench::AllocationCount;

// Bytes operator new is asked for while `make` runs; what it makes is then destroyed.
template <typename Make>
double RequestedBy(Make make)
{
    const std::uint64_t before = AllocatedBytes();
    auto made = make();
    benchmark::DoNotOptimize(made);
    return static_cast<double>(AllocatedBytes() - before);
}

void BM_SignatureMemory(benchmark::State& state)
{
    const auto blocks = static_cast<std::size_t>(state.range(0));

    // Inputs first, so that they are part of the "before" figure.
    std::mt19937 random(1000003);
    std::vector<std::uint32_t> checksums;
    while (checksums.size() < blocks) {
        for (std::size_t i = checksums.size(); i < blocks + blocks / 64 + 16; ++i)
            checksums.push_back(random());
        std::sort(checksums.begin(), checksums.end());
        checksums.erase(std::unique(checksums.begin(), checksums.end()), checksums.end());
    }
    std::shuffle(checksums.begin(), checksums.end(), random);
    checksums.resize(blocks);
    std::vector<_md5_hash> md5s(blocks);
    for (_md5_hash& md5 : md5s)
        for (unsigned char& byte : md5.bytes)
            byte = static_cast<unsigned char>(random());

    const double perBlock = 1.0 / static_cast<double>(blocks);
    for (auto _ : state) {
        KorrinBench::ReleaseFreeMemory();
        const bool peakReset = KorrinBench::ResetPeakResidentMemory();
        KorrinBench::ResidentMemory before;
        KorrinBench::ResidentMemory after;
        if (!KorrinBench::ReadResidentMemory(before)) {
            state.SkipWithError("resident memory cannot be read on this system");
            return;
        }
        const std::uint64_t allocationsBefore = AllocationCount();
        const std::uint64_t bytesBefore = AllocatedBytes();

        std::unique_ptr<MemoryDigestIO> store(new MemoryDigestIO);
        for (std::size_t i = 0; i < blocks; ++i)
            store->WriteDigest(static_cast<std::uint32_t>(i), checksums[i], md5s[i]);

        KorrinBench::ReadResidentMemory(after);
        const std::uint64_t allocations = AllocationCount() - allocationsBefore;
        const std::uint64_t requested = AllocatedBytes() - bytesBefore;

        state.PauseTiming();
        // A copy of a store never looked up asks for its table alone.
        const double table = RequestedBy([&store] { return MemoryDigestIO(*store); });
        for (std::size_t i = 0; i < blocks; ++i) {
            bool found = false;
            std::uint32_t blockIndex = 0;
            store->Find(checksums[i], md5s[i], found, blockIndex);
            if (!found || blockIndex != i) {
                state.SkipWithError("the store lost a block");
                return;
            }
        }
        // The parts of one block, each measured alone rather than assumed from a layout.
        const double node = RequestedBy([] {
            DigestMap map;
            map.emplace(1u, std::vector<DigestEntry>());
            return map;
        });
        const double group = RequestedBy([] {
            std::vector<DigestEntry> groups;
            groups.push_back(DigestEntry{{}, _md5_hash{}});
            return groups;
        });
        const double index = RequestedBy([] { return std::vector<std::uint32_t>{0u}; });
        // A copy of a store that has its filter and index makes them afresh, sized for the
        // table, nothing outgrown.
        const double lookups = RequestedBy([&store] { return MemoryDigestIO(*store); }) - table;
        store.reset();
        state.ResumeTiming();

        const double resident = static_cast<double>(after.current) - static_cast<double>(before.current);
        if (peakReset)
            state.counters["peak"] =
                (static_cast<double>(after.peak) - static_cast<double>(before.current)) * perBlock;
        state.counters["resident"] = resident * perBlock;
        state.counters["requested"] = static_cast<double>(requested) * perBlock;
        state.counters["allocations"] = static_cast<double>(allocations) * perBlock;
        state.counters["node"] = node;
        state.counters["group"] = group;
        state.counters["index"] = index;
        state.counters["lookups"] = lookups * perBlock;
        state.counters["overhead"] = (resident - table) * perBlock;
    }
}
BENCHMARK(BM_SignatureMemory)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
