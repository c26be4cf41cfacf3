// Rebuilding against `rdiff patch`, block size 2048 for both, on a pair of 256 MiB files in
// the page cache with a few hundred scattered edits. rdiff checks nothing; Korrin proves
// every byte it writes by SHA-1, so the fair bound for Korrin::ApplyFileDelta to a new file
// is 1.2 times the sum of rdiff's time and what the hashing layer takes to compute the
// SHA-1 of the new file (the check Korrin adds), measured side by side in one run.
//
// Counters: korrin_s, rdiff_s, sha1_s, ratio (korrin_s over rdiff_s + sha1_s; target at most
// 1.2). KORRIN_BENCH_MIB sets the size (default 256). Without `rdiff` the ratio is left out.
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <Vantrel/FileDelta.h>
#include <Vantrel/FileDigest.h>
#include <Vantrel/Korrin.h>
#include <Vantrel/MemoryDeltaIO.h>
#include <Vantrel/MemoryDigestIO.h>
#include <Vantrel/ResultCodes.h>
#include <Vantrel/SHA1Digest.h>

namespace {

namespace fs = std::filesystem;
using namespace Halvorn::Vantrel;

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void BM_ApplyFileDelta(benchmark::State& state)
{
    const char* sizeText = std::getenv("KORRIN_BENCH_MIB");
    const std::size_t size = (sizeText != nullptr && std::atoi(sizeText) > 0 ? std::atoi(sizeText) : 256)
                             << 20;
    const fs::path dir =
        fs::temp_directory_path() / ("korrin-apply-" + std::to_string(std::random_device()()));
    fs::create_directories(dir);
    {
        std::mt19937_64 random(8);
        std::string old(size, '\0');
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t word = random();
            std::memcpy(&old[i], &word, 8);
        }
        std::string now = old;
        for (int edit = 0; edit < 300; ++edit)
            now[random() % now.size()] ^= 0x5A;
        now.insert(now.size() / 3, "an insertion");
        now.erase(2 * now.size() / 3, 4096);
        std::ofstream(dir / "old.bin", std::ios::binary) << old;
        std::ofstream(dir / "new.bin", std::ios::binary) << now;
    }
    const std::wstring oldPath = (dir / "old.bin").wstring();
    const std::wstring newPath = (dir / "new.bin").wstring();

    Korrin engine;
    engine.SetWindowSize(2048);
    MemoryDigestIO signature;
    FileDigest digest(&signature);
    digest.SetVersion(1);
    MemoryDeltaIO changes;
    FileDelta delta(&changes);
    if (engine.GenerateFileDigest(oldPath, digest) != RESULT_OK ||
        engine.GenerateFileDelta(newPath, digest, delta) != RESULT_OK) {
        state.SkipWithError("cannot make the delta");
        fs::remove_all(dir);
        return;
    }
    const bool haveRdiff = std::system("command -v rdiff >/dev/null 2>&1") == 0;
    const std::string d = dir.string();
    if (haveRdiff)
        std::system(("rdiff -b 2048 signature " + d + "/old.bin " + d + "/old.sig && rdiff delta " + d +
                     "/old.sig " + d + "/new.bin " + d + "/delta.rdiff")
                        .c_str());
    ReadAll(dir / "old.bin"); // into the page cache
    const std::string expected = ReadAll(dir / "new.bin");

    double korrin = 0, rdiff = 0, sha1 = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const int result = engine.ApplyFileDelta(oldPath, delta, (dir / "rebuilt.bin").wstring());
        korrin = Seconds(start);
        state.SetIterationTime(korrin);
        if (result != RESULT_OK || ReadAll(dir / "rebuilt.bin") != expected) {
            state.SkipWithError("the rebuilt file is wrong");
            break;
        }
        if (haveRdiff) {
            start = std::chrono::steady_clock::now();
            std::system(
                ("rdiff patch " + d + "/old.bin " + d + "/delta.rdiff " + d + "/patched.bin").c_str());
            rdiff = Seconds(start);
        }
        start = std::chrono::steady_clock::now();
        SHA1Digest check;
        check.Append(reinterpret_cast<const unsigned char*>(expected.data()),
                     static_cast<std::uint32_t>(expected.size()));
        check.Finish();
        sha1 = Seconds(start);
    }
    state.counters["korrin_s"] = korrin;
    state.counters["sha1_s"] = sha1;
    if (haveRdiff) {
        state.counters["rdiff_s"] = rdiff;
        state.counters["ratio"] = korrin / (rdiff + sha1);
    } else {
        state.SetLabel("rdiff not found: no comparison");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * expected.size()));
    fs::remove_all(dir);
}
BENCHMARK(BM_ApplyFileDelta)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
