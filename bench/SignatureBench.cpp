// Signature generation over a large file against the hashing it cannot avoid.
//
// BM_GenerateFileDigest runs Korrin::GenerateFileDigest over a file of random bytes that is
// already in the page cache. BM_SignatureBaseline does only the hashing over the same bytes
// in memory: a fresh MD5 context per block and one SHA-1 over the whole. The difference is
// what generation adds (reads, the rolling checksum, digest objects, the block table); the
// counter gen_over_baseline, shown on whichever of the two runs second, is the ratio of
// their times for the same window size.
//
// KORRIN_BENCH_MIB sets the file size in MiB (default 256), for quick runs.

#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/Hashing.h"

namespace {

using Halvorn::Vantrel::DigestMap;
using Halvorn::Vantrel::FileDigest;
using Halvorn::Vantrel::Korrin;
using Halvorn::Vantrel::MemoryDigestIO;
using Halvorn::Vantrel::RESULT_OK;

std::size_t FixtureMebibytes()
{
    const char* text = std::getenv("KORRIN_BENCH_MIB");
    if (text == nullptr || *text == '\0')
        return 256;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    // Anything unreadable falls back to the default rather than silently measuring nothing.
    return *end == '\0' && value > 0 ? static_cast<std::size_t>(value) : 256;
}

// The random file and the same bytes in memory, made on first use and shared by both
// benchmarks so that they hash identical data. The directory goes away at exit.
class FixtureFile {
public:
    static const FixtureFile& Get()
    {
        static const FixtureFile fixture;
        return fixture;
    }

    FixtureFile(const FixtureFile&) = delete;
    FixtureFile& operator=(const FixtureFile&) = delete;

    ~FixtureFile()
    {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    const std::vector<unsigned char>& Bytes() const { return bytes_; }
    const std::wstring& Path() const { return path_; }

private:
    FixtureFile() : bytes_(FixtureMebibytes() << 20)
    {
        std::mt19937_64 random(20240611);
        for (std::size_t i = 0; i + 8 <= bytes_.size(); i += 8) {
            const std::uint64_t word = random();
            for (int b = 0; b < 8; ++b)
                bytes_[i + b] = static_cast<unsigned char>(word >> (8 * b));
        }

        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device entropy;
        for (int attempt = 0; attempt < 100 && directory_.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("korrin-bench-" + std::to_string(entropy()));
            if (std::filesystem::create_directory(candidate))
                directory_ = candidate;
        }
        if (directory_.empty())
            throw std::runtime_error("no temporary directory for the benchmark file");
        const std::filesystem::path file = directory_ / "old.bin";
        path_ = file.wstring();

        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
        if (!out.flush())
            throw std::runtime_error("cannot write the benchmark file");
        out.close();

        // One full read, so that every iteration finds the file in the page cache.
        std::ifstream in(file, std::ios::binary);
        std::vector<char> chunk(1 << 20);
        std::size_t total = 0;
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
            total += static_cast<std::size_t>(in.gcount());
        if (total != bytes_.size())
            throw std::runtime_error("the benchmark file reads back short");
    }

    std::vector<unsigned char> bytes_;
    std::filesystem::path directory_;
    std::wstring path_;
};

// Seconds per pass over the file of each benchmark, by window size, to report their ratio.
struct Timings {
    double generation = 0;
    double baseline = 0;
};
std::map<std::int64_t, Timings> timings;

void ReportRatio(benchmark::State& state, const Timings& t)
{
    if (t.generation > 0 && t.baseline > 0)
        state.counters["gen_over_baseline"] = t.generation / t.baseline;
}

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void BM_GenerateFileDigest(benchmark::State& state)
{
    const FixtureFile& fixture = FixtureFile::Get();
    const auto window = static_cast<std::uint32_t>(state.range(0));
    Korrin korrin;
    korrin.SetWindowSize(window);

    double seconds = 0;
    bool checked = false;
    for (auto _ : state) {
        // Made and destroyed outside the timed part: tearing down the table is not generation.
        MemoryDigestIO store;
        FileDigest digest(&store);
        const auto start = std::chrono::steady_clock::now();
        const int result = korrin.GenerateFileDigest(fixture.Path(), digest);
        const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        if (result != RESULT_OK) {
            state.SkipWithError("GenerateFileDigest failed");
            return;
        }
        if (!checked) {
            // Random blocks have distinct MD5 values, so one group per block.
            std::uint64_t fileSize = 0;
            digest.GetFileSize(fileSize);
            DigestMap table;
            digest.GetDigest(table);
            std::size_t groups = 0;
            for (const auto& entry : table)
                groups += entry.second.size();
            const std::size_t blocks = (fixture.Bytes().size() + window - 1) / window;
            if (fileSize != fixture.Bytes().size() || groups != blocks) {
                state.SkipWithError("the signature does not cover the file");
                return;
            }
            checked = true;
        }
    }
    const auto bytes = static_cast<std::int64_t>(fixture.Bytes().size());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * bytes);
    Timings& t = timings[state.range(0)];
    t.generation = seconds / static_cast<double>(state.iterations());
    ReportRatio(state, t);
}
BENCHMARK(BM_GenerateFileDigest)->Arg(2048)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);

// What generation must do whatever its structure: per block make an MD5 context, append the
// block, finish and destroy it; the SHA-1 of the whole file through one context. The SHA-1 is
// fed block by block beside the MD5, as generation does, so both read the block from cache.
void BM_SignatureBaseline(benchmark::State& state)
{
    const FixtureFile& fixture = FixtureFile::Get();
    const auto window = static_cast<std::size_t>(state.range(0));
    const std::vector<unsigned char>& bytes = fixture.Bytes();

    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        int failures = 0;
        sha1_context* whole = nullptr;
        failures += sha1_init(&whole);
        _md5_hash blockValue;
        for (std::size_t offset = 0; offset < bytes.size(); offset += window) {
            const auto length = static_cast<std::uint32_t>(std::min(window, bytes.size() - offset));
            md5_context* md5 = nullptr;
            failures += md5_init(&md5);
            failures += md5_append(md5, bytes.data() + offset, length);
            failures += md5_finish(md5, &blockValue);
            failures += md5_destroy(md5);
            benchmark::DoNotOptimize(blockValue);
            failures += sha1_append(whole, bytes.data() + offset, length);
        }
        _sha1_hash wholeValue;
        failures += sha1_finish(whole, &wholeValue);
        failures += sha1_destroy(whole);
        benchmark::DoNotOptimize(wholeValue);
        const double elapsed = Seconds(std::chrono::steady_clock::now() - start);
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        if (failures != 0) {
            state.SkipWithError("the hashing layer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    Timings& t = timings[state.range(0)];
    t.baseline = seconds / static_cast<double>(state.iterations());
    ReportRatio(state, t);
}
BENCHMARK(BM_SignatureBaseline)->Arg(2048)->Arg(8192)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
